#include "core/auth/OpenAIProPlusAuthSession.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// An optional string member: absent or null is nothing; another type fails.
bool readOptionalString(const QJsonObject &object, const QString &key, std::optional<QString> &out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

} // namespace

QByteArray OpenAIProPlusAuthSession::toJson() const
{
    QJsonObject object{
        {QStringLiteral("refreshToken"), refreshToken},
        {QStringLiteral("accessToken"), accessToken},
        {QStringLiteral("expiresAt"), expiresAt},
    };
    if (accountID)
        object.insert(QStringLiteral("accountID"), *accountID);
    if (email)
        object.insert(QStringLiteral("email"), *email);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<OpenAIProPlusAuthSession> OpenAIProPlusAuthSession::fromJson(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue refreshToken = object.value(QStringLiteral("refreshToken"));
    const QJsonValue accessToken = object.value(QStringLiteral("accessToken"));
    const QJsonValue expiresAt = object.value(QStringLiteral("expiresAt"));
    if (!refreshToken.isString() || !accessToken.isString() || !expiresAt.isDouble())
        return std::nullopt;

    OpenAIProPlusAuthSession session;
    session.refreshToken = refreshToken.toString();
    session.accessToken = accessToken.toString();
    session.expiresAt = expiresAt.toDouble();
    if (!readOptionalString(object, QStringLiteral("accountID"), session.accountID) ||
        !readOptionalString(object, QStringLiteral("email"), session.email))
        return std::nullopt;
    return session;
}
