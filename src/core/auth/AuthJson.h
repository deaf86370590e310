#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// Readers for the JSON records of the sign-in authority. A member that is
// absent or null counts as absent; a member of another type makes the record
// undecodable. Each failing reader names the problem in `errorMessage`.
namespace AuthJson {

std::optional<QJsonObject> parseObject(const QByteArray &body, QString *errorMessage);
bool readString(const QJsonObject &object, const QString &name, QString *out,
                QString *errorMessage);
bool readOptionalString(const QJsonObject &object, const QString &name, std::optional<QString> *out,
                        QString *errorMessage);
// A JSON number without fractional part that fits in 64 bits.
bool readOptionalInteger(const QJsonObject &object, const QString &name, std::optional<qint64> *out,
                         QString *errorMessage);

} // namespace AuthJson
