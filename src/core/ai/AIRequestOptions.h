#pragma once

#include "core/ai/AIRequestTimeoutRetryPolicy.h"

#include <QString>

// How the AI client runs one request. Intervals are seconds; every time-out is
// an idle time-out (the longest wait for the next data), not a bound on the
// whole transfer.
struct AIRequestOptions
{
    QString providerID;
    double timeoutInterval = 60;
    double hedgedRequestTimeoutInterval = 60;
    double hedgeAfterNoResponseInterval = 20;
    AIRequestTimeoutRetryPolicy timeoutRetryPolicy = AIRequestTimeoutRetryPolicy::none;

    // The options every provider family uses: 60 s, 60 s, hedge after 20 s.
    static AIRequestOptions standard(const QString &providerID, AIRequestTimeoutRetryPolicy policy)
    {
        AIRequestOptions options;
        options.providerID = providerID;
        options.timeoutRetryPolicy = policy;
        return options;
    }
};
