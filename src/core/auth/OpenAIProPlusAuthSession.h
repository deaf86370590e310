#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The stored subscription session: the OAuth tokens, when the access token
// expires and what to show for the account. Kept as compact JSON text in the
// keychain; absent optional members are omitted, unknown keys are ignored.
struct OpenAIProPlusAuthSession
{
    QString refreshToken;
    QString accessToken;
    // Seconds since 1970-01-01 UTC, fractional.
    double expiresAt = 0;
    std::optional<QString> accountID;
    std::optional<QString> email;

    QByteArray toJson() const;
    // Nothing when the bytes are not a JSON object with the three required
    // members of the right types (or an optional member of the wrong type).
    static std::optional<OpenAIProPlusAuthSession> fromJson(const QByteArray &json);

    friend bool operator==(const OpenAIProPlusAuthSession &,
                           const OpenAIProPlusAuthSession &) = default;
};
