#pragma once

#include "core/auth/OpenAIProPlusAuthConfiguration.h"
#include "core/auth/OpenAIProPlusAuthFlowHost.h"
#include "core/auth/OpenAIProPlusAuthOptions.h"
#include "core/auth/OpenAIProPlusAuthSession.h"
#include "core/auth/ProviderAccount.h"
#include "core/desktop/KeychainStore.h"

#include <QMutex>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class OpenAIProPlusAuthReply;
class UrlOpener;
class QObject;
struct PKCECodes;
struct TokenClaims;
struct TokenResponse;

// The subscription account's sign-in: signs in through the browser (or a
// device code when the callback port is taken), keeps the session fresh, and
// owns the stored session record. Whether the account is connected depends
// only on the record in the keychain; no copy is kept in memory, so a sign-in
// or a disconnect is seen at once by every caller.
//
// The stored-session operations are synchronous and may be called from any
// thread. The sign-in operations run on the calling thread's event loop (the
// main thread) and answer with a cancellable OpenAIProPlusAuthReply.
class OpenAIProPlusAuthManager : public OpenAIProPlusAuthFlowHost, public ProviderAccount
{
public:
    using Options = OpenAIProPlusAuthOptions;

    // The process-wide manager over the application's keychain and the
    // shared sign-in configuration, never replaced. The composition root
    // creates it over the desktop's secret store before anything reaches it
    // through shared(); the first call creates it, later ones return it. One
    // first reached through shared() has no secret store (nothing is stored),
    // and the root's createShared after that stops the program.
    static OpenAIProPlusAuthManager &createShared(std::shared_ptr<SecretStore> secrets);
    static OpenAIProPlusAuthManager &shared();

    // A manager over `keychain`, with other waits or another configuration
    // (tests). Without a configuration it uses the shared one.
    explicit OpenAIProPlusAuthManager(
        KeychainStore keychain, Options options = Options(),
        std::optional<OpenAIProPlusAuthConfiguration> configuration = std::nullopt);
    OpenAIProPlusAuthManager(const OpenAIProPlusAuthManager &) = delete;
    OpenAIProPlusAuthManager &operator=(const OpenAIProPlusAuthManager &) = delete;

    const KeychainStore &keychain() const { return m_keychain; }
    QString sessionAccount() const { return m_sessionAccount; }
    QString originator() const { return m_originator; }
    const Options &options() const override { return m_options; }
    const OpenAIProPlusAuthConfiguration &configuration() const override;

    // The stored session; nothing when there is none or it does not decode.
    std::optional<OpenAIProPlusAuthSession> storedSession() const;
    void save(const OpenAIProPlusAuthSession &session) const override;
    bool isConnected() const override { return storedSession().has_value(); }
    std::optional<QString> connectionSummary() const override;
    // Deletes the stored session and logs it. The caller cancels its own
    // running sign-in first and sends the analytics signal.
    void disconnect() const override;
    SignInReply *signIn(UrlOpener &browser, SignInProgress onProgress, QObject *parent) override;
    QUrl deviceCodePage() const override;

    // Signs in interactively, opening the sign-in pages with `browser`, and
    // stores the new session. Fails at once with alreadyAuthorizing while
    // another sign-in runs. `onProgress` receives the texts to show the user
    // (the port fallback, the device login code).
    OpenAIProPlusAuthReply *authorizeInteractive(UrlOpener &browser,
                                                 ProgressHandler onProgress = {},
                                                 QObject *parent = nullptr);
    // The stored session, refreshed first (and stored again) when its access
    // token expires within 30 seconds; notConnected without one.
    OpenAIProPlusAuthReply *validSession(QObject *parent = nullptr);

    QUrl buildAuthorizeURL(const PKCECodes &pkce, const QString &state,
                           quint16 port = OpenAIProPlusAuthProtocol::callbackPort) const override;
    std::optional<TokenClaims> parseClaims(const QString &jwt) const;
    // The account of the id token's claims, else of the access token's.
    std::optional<QString> accountID(const TokenResponse &tokens) const override;
    // The non-empty e-mail of the id token's claims, else of the access token's.
    std::optional<QString> extractEmail(const TokenResponse &tokens) const override;

private:
    bool beginAuthorization();
    void endAuthorization() override;

    const KeychainStore m_keychain;
    const QString m_sessionAccount = QStringLiteral("openai_pro_plus_oauth_session");
    const QString m_originator = QStringLiteral("wrenlark");
    QMutex m_lock; // guards m_authorizationInFlight only
    bool m_authorizationInFlight = false;
    const Options m_options;
    const std::optional<OpenAIProPlusAuthConfiguration> m_configuration;
};
