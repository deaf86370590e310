#include "core/auth/TokenResponse.h"

#include "core/auth/AuthJson.h"

std::optional<TokenResponse> TokenResponse::decode(const QByteArray &body, QString *errorMessage)
{
    const auto object = AuthJson::parseObject(body, errorMessage);
    if (!object)
        return std::nullopt;
    TokenResponse response;
    if (!AuthJson::readString(*object, QStringLiteral("access_token"), &response.accessToken,
                              errorMessage) ||
        !AuthJson::readString(*object, QStringLiteral("refresh_token"), &response.refreshToken,
                              errorMessage) ||
        !AuthJson::readOptionalString(*object, QStringLiteral("id_token"), &response.idToken,
                                      errorMessage) ||
        !AuthJson::readOptionalInteger(*object, QStringLiteral("expires_in"), &response.expiresIn,
                                       errorMessage))
        return std::nullopt;
    return response;
}
