#include "core/auth/DeviceUserCodeResponse.h"

#include "core/auth/AuthJson.h"

#include <QRegularExpression>

namespace {

// A poll delay must fit a timer; a day between polls is already absurd.
constexpr quint64 maximumIntervalSeconds = 24 * 60 * 60;

} // namespace

quint64 DeviceUserCodeResponse::intervalSeconds() const
{
    if (interval.isEmpty())
        return defaultIntervalSeconds;
    static const QRegularExpression integer(QStringLiteral("\\A[+-]?[0-9]+\\z"));
    if (!integer.match(interval).hasMatch())
        return defaultIntervalSeconds;
    bool ok = false;
    const qlonglong value = interval.toLongLong(&ok, 10);
    // A negative interval cannot be waited: it counts as unreadable.
    if (!ok || value < 0 || quint64(value) > maximumIntervalSeconds)
        return defaultIntervalSeconds;
    return quint64(value);
}

std::optional<DeviceUserCodeResponse> DeviceUserCodeResponse::decode(const QByteArray &body,
                                                                     QString *errorMessage)
{
    const auto object = AuthJson::parseObject(body, errorMessage);
    if (!object)
        return std::nullopt;
    DeviceUserCodeResponse response;
    if (!AuthJson::readString(*object, QStringLiteral("device_auth_id"), &response.deviceAuthID,
                              errorMessage) ||
        !AuthJson::readString(*object, QStringLiteral("user_code"), &response.userCode,
                              errorMessage) ||
        !AuthJson::readString(*object, QStringLiteral("interval"), &response.interval,
                              errorMessage))
        return std::nullopt;
    return response;
}

std::optional<DeviceAuthorizationCodeResponse>
DeviceAuthorizationCodeResponse::decode(const QByteArray &body, QString *errorMessage)
{
    const auto object = AuthJson::parseObject(body, errorMessage);
    if (!object)
        return std::nullopt;
    DeviceAuthorizationCodeResponse response;
    if (!AuthJson::readString(*object, QStringLiteral("authorization_code"),
                              &response.authorizationCode, errorMessage) ||
        !AuthJson::readString(*object, QStringLiteral("code_verifier"), &response.codeVerifier,
                              errorMessage))
        return std::nullopt;
    return response;
}
