#include "core/ai/AIRequestTimeoutRetryPolicy.h"

#include <QHash>

QString logWord(AIRequestTimeoutRetryPolicy policy)
{
    switch (policy) {
    case AIRequestTimeoutRetryPolicy::none:
        return QStringLiteral("disabled");
    case AIRequestTimeoutRetryPolicy::unsafeSingleReplay:
        return QStringLiteral("unsafe replay");
    case AIRequestTimeoutRetryPolicy::providerManagedSingleReplay:
        return QStringLiteral("provider-managed replay");
    case AIRequestTimeoutRetryPolicy::unsafeSingleHedge:
        return QStringLiteral("unsafe hedge");
    case AIRequestTimeoutRetryPolicy::providerManagedSingleHedge:
        return QStringLiteral("provider-managed hedge");
    }
    return QStringLiteral("disabled");
}

std::optional<AIRequestTimeoutRetryPolicy> timeoutRetryPolicyNamed(const QString &name)
{
    using Policy = AIRequestTimeoutRetryPolicy;
    static const QHash<QString, Policy> policies{
        {QStringLiteral("none"), Policy::none},
        {QStringLiteral("unsafeSingleReplay"), Policy::unsafeSingleReplay},
        {QStringLiteral("providerManagedSingleReplay"), Policy::providerManagedSingleReplay},
        {QStringLiteral("unsafeSingleHedge"), Policy::unsafeSingleHedge},
        {QStringLiteral("providerManagedSingleHedge"), Policy::providerManagedSingleHedge},
    };
    const auto found = policies.find(name);
    if (found == policies.end())
        return std::nullopt;
    return *found;
}
