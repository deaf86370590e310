#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The authority's answer to the device sign-in's user-code request.
struct DeviceUserCodeResponse
{
    QString deviceAuthID;
    QString userCode;
    // Seconds between polls as decimal text (a JSON number does not decode).
    QString interval;

    static constexpr quint64 defaultIntervalSeconds = 5;

    // `interval` as a count of seconds: a base-10 integer with an optional
    // sign; 5 when it is empty, has any other character, is negative, or is
    // too large for a poll delay.
    quint64 intervalSeconds() const;

    static std::optional<DeviceUserCodeResponse> decode(const QByteArray &body,
                                                        QString *errorMessage);
};

// The authority's answer to a poll once the user has approved the device.
struct DeviceAuthorizationCodeResponse
{
    QString authorizationCode;
    QString codeVerifier;

    static std::optional<DeviceAuthorizationCodeResponse> decode(const QByteArray &body,
                                                                 QString *errorMessage);
};
