#pragma once

#include "core/analytics/AnalyticsSignal.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

// One signal as the delivery client stores and posts it: the prefixed name,
// the parameters with prefixed keys (default parameters included), when it
// was sent and a unique identity so the service can drop duplicates of a
// batch that was delivered but whose answer was lost.
struct AnalyticsSignalRecord
{
    QString id;
    QString type;
    QDateTime timestamp; // UTC
    AnalyticsParameters payload;

    // {"id": ..., "type": ..., "timestamp": ISO 8601 UTC, "payload": {...}}
    QJsonObject toJson() const;
    // Nothing when a member is missing or has the wrong type.
    static std::optional<AnalyticsSignalRecord> fromJson(const QJsonObject &object);

    friend bool operator==(const AnalyticsSignalRecord &, const AnalyticsSignalRecord &) = default;
};
