#include "core/analytics/AnalyticsSignalRecord.h"

namespace {
const QString idKey = QStringLiteral("id");
const QString typeKey = QStringLiteral("type");
const QString timestampKey = QStringLiteral("timestamp");
const QString payloadKey = QStringLiteral("payload");
} // namespace

QJsonObject AnalyticsSignalRecord::toJson() const
{
    QJsonObject payloadObject;
    for (auto it = payload.begin(); it != payload.end(); ++it)
        payloadObject.insert(it.key(), it.value());
    return {{idKey, id},
            {typeKey, type},
            {timestampKey, timestamp.toUTC().toString(Qt::ISODateWithMs)},
            {payloadKey, payloadObject}};
}

std::optional<AnalyticsSignalRecord> AnalyticsSignalRecord::fromJson(const QJsonObject &object)
{
    const QJsonValue id = object.value(idKey);
    const QJsonValue type = object.value(typeKey);
    const QJsonValue timestamp = object.value(timestampKey);
    const QJsonValue payload = object.value(payloadKey);
    if (!id.isString() || !type.isString() || !timestamp.isString() || !payload.isObject())
        return std::nullopt;

    AnalyticsSignalRecord record;
    record.id = id.toString();
    record.type = type.toString();
    record.timestamp = QDateTime::fromString(timestamp.toString(), Qt::ISODateWithMs);
    if (!record.timestamp.isValid())
        return std::nullopt;
    record.timestamp = record.timestamp.toUTC();
    const QJsonObject payloadObject = payload.toObject();
    for (auto it = payloadObject.begin(); it != payloadObject.end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
        record.payload.insert(it.key(), it.value().toString());
    }
    return record;
}
