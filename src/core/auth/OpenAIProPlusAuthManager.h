#pragma once

#include "core/auth/OpenAIProPlusAuthSession.h"
#include "core/desktop/KeychainStore.h"

#include <QMutex>
#include <QString>
#include <optional>

// Owns the subscription account's stored session: whether the account is
// connected depends only on the record in the keychain. No copy is kept in
// memory, so a sign-in or a disconnect is seen at once by every caller. The
// stored-session operations are synchronous and may be called from any thread.
class OpenAIProPlusAuthManager
{
public:
    // The process-wide manager, created on first use.
    static OpenAIProPlusAuthManager &shared();

    // A manager over another keychain (tests).
    explicit OpenAIProPlusAuthManager(KeychainStore keychain = KeychainStore());
    OpenAIProPlusAuthManager(const OpenAIProPlusAuthManager &) = delete;
    OpenAIProPlusAuthManager &operator=(const OpenAIProPlusAuthManager &) = delete;

    const KeychainStore &keychain() const { return m_keychain; }
    QString sessionAccount() const { return m_sessionAccount; }
    QString originator() const { return m_originator; }

    // The stored session; nothing when there is none or it does not decode.
    std::optional<OpenAIProPlusAuthSession> storedSession() const;
    void save(const OpenAIProPlusAuthSession &session) const;
    // The e-mail, else the account identifier, else "Connected"; nothing when
    // not connected.
    std::optional<QString> connectionSummary() const;
    // Deletes the stored session and logs it. The caller cancels its own
    // running sign-in first and sends the analytics signal.
    void disconnect() const;

private:
    const KeychainStore m_keychain;
    const QString m_sessionAccount = QStringLiteral("openai_pro_plus_oauth_session");
    const QString m_originator = QStringLiteral("wrenlark");
    QMutex m_lock; // guards m_authorizationInFlight only
    bool m_authorizationInFlight = false;
};
