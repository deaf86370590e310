#include "core/ai/AIRequestTimeoutRetryPolicy.h"

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
