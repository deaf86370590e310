#pragma once

#include <QString>
#include <optional>

// How the AI client recovers from a silent or timed-out attempt.
enum class AIRequestTimeoutRetryPolicy {
    none,
    unsafeSingleReplay,
    providerManagedSingleReplay,
    unsafeSingleHedge,
    providerManagedSingleHedge,
};

// The word log lines use for the policy ("disabled", "unsafe hedge", ...).
QString logWord(AIRequestTimeoutRetryPolicy policy);

// The policy a catalog names by its enumerator ("unsafeSingleHedge", ...).
std::optional<AIRequestTimeoutRetryPolicy> timeoutRetryPolicyNamed(const QString &name);

inline bool isHedgePolicy(AIRequestTimeoutRetryPolicy policy)
{
    return policy == AIRequestTimeoutRetryPolicy::unsafeSingleHedge ||
           policy == AIRequestTimeoutRetryPolicy::providerManagedSingleHedge;
}

inline bool isReplayPolicy(AIRequestTimeoutRetryPolicy policy)
{
    return policy == AIRequestTimeoutRetryPolicy::unsafeSingleReplay ||
           policy == AIRequestTimeoutRetryPolicy::providerManagedSingleReplay;
}
