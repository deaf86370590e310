#include "core/auth/AuthJson.h"

#include <QJsonDocument>
#include <cmath>

namespace AuthJson {

namespace {

bool fail(QString *errorMessage, const QString &message)
{
    if (errorMessage)
        *errorMessage = message;
    return false;
}

bool isAbsent(const QJsonValue &value)
{
    return value.isUndefined() || value.isNull();
}

} // namespace

std::optional<QJsonObject> parseObject(const QByteArray &body, QString *errorMessage)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        fail(errorMessage, parseError.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        fail(errorMessage, QStringLiteral("the reply is not a JSON object"));
        return std::nullopt;
    }
    return document.object();
}

bool readString(const QJsonObject &object, const QString &name, QString *out, QString *errorMessage)
{
    const QJsonValue value = object.value(name);
    if (isAbsent(value))
        return fail(errorMessage, QStringLiteral("\"%1\" is missing").arg(name));
    if (!value.isString())
        return fail(errorMessage, QStringLiteral("\"%1\" is not a string").arg(name));
    *out = value.toString();
    return true;
}

bool readOptionalString(const QJsonObject &object, const QString &name, std::optional<QString> *out,
                        QString *errorMessage)
{
    const QJsonValue value = object.value(name);
    if (isAbsent(value))
        return true;
    if (!value.isString())
        return fail(errorMessage, QStringLiteral("\"%1\" is not a string").arg(name));
    *out = value.toString();
    return true;
}

bool readOptionalInteger(const QJsonObject &object, const QString &name, std::optional<qint64> *out,
                         QString *errorMessage)
{
    const QJsonValue value = object.value(name);
    if (isAbsent(value))
        return true;
    const double number = value.toDouble();
    if (!value.isDouble() || number != std::trunc(number) || std::abs(number) > 9.0e15)
        return fail(errorMessage, QStringLiteral("\"%1\" is not an integer").arg(name));
    *out = qint64(number);
    return true;
}

} // namespace AuthJson
