#pragma once

#include "core/analytics/AnalyticsSignal.h"

#include <QString>
#include <functional>

// What the application tells the delivery client about itself: its analytics
// application identifier, the prefixes put before every signal name and every
// parameter key, and a provider of default parameters that the client calls
// for each signal, on its own thread, and merges under the signal's own.
struct AnalyticsClientConfiguration
{
    explicit AnalyticsClientConfiguration(QString appID)
        : appID(std::move(appID))
    {
    }

    QString appID;
    QString signalNamePrefix;
    QString parameterKeyPrefix;
    std::function<AnalyticsParameters()> defaultParameters;
    // Asked on the client's thread before each delivery: true keeps the
    // signals queued (on disk at shutdown) and sends nothing, as while the
    // user works with a server of their own, perhaps offline. The next signal
    // after it turns false sends them.
    std::function<bool()> deliveryHeld;
};
