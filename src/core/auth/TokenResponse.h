#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The sign-in authority's answer to every token request (code exchange,
// device code exchange, refresh).
struct TokenResponse
{
    std::optional<QString> idToken;
    QString accessToken;
    QString refreshToken;
    // Seconds.
    std::optional<qint64> expiresIn;

    // Nothing, with the reason in `errorMessage`, when the body is not a JSON
    // object with the two tokens as strings, or a listed member has another
    // type. Unlisted members are ignored.
    static std::optional<TokenResponse> decode(const QByteArray &body, QString *errorMessage);
};
