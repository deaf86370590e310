#include "core/auth/TokenClaims.h"

#include "core/auth/AuthJson.h"

#include <QJsonArray>

namespace {

std::optional<QByteArray> decodePayload(const QString &jwt)
{
    const QStringList pieces = jwt.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (pieces.size() != 3)
        return std::nullopt;
    QByteArray payload = pieces.at(1).toLatin1();
    payload.replace('-', '+').replace('_', '/');
    while (payload.size() % 4 != 0)
        payload.append('=');
    const auto decoded =
        QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

bool readOrganizations(const QJsonObject &object,
                       std::optional<QList<TokenClaims::Organization>> *out)
{
    const QJsonValue value = object.value(QStringLiteral("organizations"));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isArray())
        return false;
    QList<TokenClaims::Organization> organizations;
    for (const QJsonValue &entry : value.toArray()) {
        TokenClaims::Organization organization;
        if (!entry.isObject() || !AuthJson::readString(entry.toObject(), QStringLiteral("id"),
                                                       &organization.id, nullptr))
            return false;
        organizations.append(organization);
    }
    *out = organizations;
    return true;
}

bool readOpenAIAuth(const QJsonObject &object, const QString &key,
                    std::optional<TokenClaims::OpenAIAuth> *out)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isObject())
        return false;
    TokenClaims::OpenAIAuth auth;
    if (!AuthJson::readOptionalString(value.toObject(), QStringLiteral("chatgpt_account_id"),
                                      &auth.chatgptAccountID, nullptr))
        return false;
    *out = auth;
    return true;
}

} // namespace

std::optional<QString> TokenClaims::accountID() const
{
    if (chatgptAccountID)
        return chatgptAccountID;
    if (openAIAuth && openAIAuth->chatgptAccountID)
        return openAIAuth->chatgptAccountID;
    if (organizations && !organizations->isEmpty())
        return organizations->first().id;
    return std::nullopt;
}

std::optional<TokenClaims> TokenClaims::parse(const QString &jwt, const QString &authClaimKey)
{
    const auto payload = decodePayload(jwt);
    if (!payload)
        return std::nullopt;
    const auto object = AuthJson::parseObject(*payload, nullptr);
    if (!object)
        return std::nullopt;
    TokenClaims claims;
    if (!AuthJson::readOptionalString(*object, QStringLiteral("chatgpt_account_id"),
                                      &claims.chatgptAccountID, nullptr) ||
        !AuthJson::readOptionalString(*object, QStringLiteral("email"), &claims.email, nullptr) ||
        !readOrganizations(*object, &claims.organizations) ||
        !readOpenAIAuth(*object, authClaimKey, &claims.openAIAuth))
        return std::nullopt;
    return claims;
}
