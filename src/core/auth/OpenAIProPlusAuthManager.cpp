#include "core/auth/OpenAIProPlusAuthManager.h"

#include "core/auth/OpenAIProPlusAuthFlow.h"
#include "core/auth/OpenAIProPlusAuthReply.h"
#include "core/auth/PKCECodes.h"
#include "core/auth/TokenClaims.h"
#include "core/auth/TokenResponse.h"
#include "core/support/Logging.h"

#include <QUrlQuery>

OpenAIProPlusAuthManager &
OpenAIProPlusAuthManager::createShared(std::shared_ptr<SecretStore> secrets)
{
    static QMutex creation;
    static std::unique_ptr<OpenAIProPlusAuthManager> manager;
    static bool madeWithoutStore = false;
    QMutexLocker lock(&creation);
    if (manager && secrets && madeWithoutStore)
        qFatal("The sign-in manager was used before the application made it over its keyring");
    if (!manager) {
        madeWithoutStore = !secrets;
        manager = std::make_unique<OpenAIProPlusAuthManager>(KeychainStore(std::move(secrets)));
    }
    return *manager;
}

OpenAIProPlusAuthManager &OpenAIProPlusAuthManager::shared()
{
    return createShared(nullptr);
}

OpenAIProPlusAuthManager::OpenAIProPlusAuthManager(
    KeychainStore keychain, Options options,
    std::optional<OpenAIProPlusAuthConfiguration> configuration)
    : m_keychain(std::move(keychain))
    , m_options(options)
    , m_configuration(std::move(configuration))
{
}

const OpenAIProPlusAuthConfiguration &OpenAIProPlusAuthManager::configuration() const
{
    return m_configuration ? *m_configuration : OpenAIProPlusAuthConfiguration::shared();
}

std::optional<OpenAIProPlusAuthSession> OpenAIProPlusAuthManager::storedSession() const
{
    const std::optional<QString> text = m_keychain.read(m_sessionAccount);
    if (!text)
        return std::nullopt;
    return OpenAIProPlusAuthSession::fromJson(text->toUtf8());
}

void OpenAIProPlusAuthManager::save(const OpenAIProPlusAuthSession &session) const
{
    // QJsonDocument cannot represent NaN or infinity: such a session would be
    // written as something that never reads back.
    if (!qIsFinite(session.expiresAt)) {
        qCWarning(lcAuth).noquote()
            << QStringLiteral("Failed to encode OpenAI Pro/Plus OAuth session.");
        return;
    }
    m_keychain.save(m_sessionAccount, QString::fromUtf8(session.toJson()));
}

std::optional<QString> OpenAIProPlusAuthManager::connectionSummary() const
{
    const auto session = storedSession();
    if (!session)
        return std::nullopt;
    if (session->email && !session->email->isEmpty())
        return *session->email;
    if (session->accountID && !session->accountID->isEmpty())
        return *session->accountID;
    return QStringLiteral("Connected");
}

void OpenAIProPlusAuthManager::disconnect() const
{
    m_keychain.deleteItem(m_sessionAccount);
    qCInfo(lcAuth).noquote() << QStringLiteral("Disconnected OpenAI Pro/Plus session.");
}

SignInReply *OpenAIProPlusAuthManager::signIn(UrlOpener &browser, SignInProgress onProgress,
                                              QObject *parent)
{
    return authorizeInteractive(browser, std::move(onProgress), parent);
}

QUrl OpenAIProPlusAuthManager::deviceCodePage() const
{
    return configuration().endpoint(QStringLiteral("/codex/device"));
}

OpenAIProPlusAuthReply *OpenAIProPlusAuthManager::authorizeInteractive(UrlOpener &browser,
                                                                       ProgressHandler onProgress,
                                                                       QObject *parent)
{
    if (!beginAuthorization())
        return OpenAIProPlusAuthReply::failed(OpenAIProPlusAuthError::alreadyAuthorizing(), parent);
    auto *reply = new OpenAIProPlusAuthReply(parent);
    auto *flow = new OpenAIProPlusAuthFlow(*this, reply);
    flow->signIn(browser, std::move(onProgress));
    return reply;
}

OpenAIProPlusAuthReply *OpenAIProPlusAuthManager::validSession(QObject *parent)
{
    const auto stored = storedSession();
    if (!stored)
        return OpenAIProPlusAuthReply::failed(OpenAIProPlusAuthError::notConnected(), parent);
    auto *reply = new OpenAIProPlusAuthReply(parent);
    auto *flow = new OpenAIProPlusAuthFlow(*this, reply);
    flow->refresh(*stored);
    return reply;
}

bool OpenAIProPlusAuthManager::beginAuthorization()
{
    QMutexLocker lock(&m_lock);
    if (m_authorizationInFlight)
        return false;
    m_authorizationInFlight = true;
    return true;
}

void OpenAIProPlusAuthManager::endAuthorization()
{
    QMutexLocker lock(&m_lock);
    m_authorizationInFlight = false;
}

QUrl OpenAIProPlusAuthManager::buildAuthorizeURL(const PKCECodes &pkce, const QString &state,
                                                 quint16 port) const
{
    QUrlQuery query;
    query.setQueryItems({
        {QStringLiteral("response_type"), QStringLiteral("code")},
        {QStringLiteral("client_id"), OpenAIProPlusAuthProtocol::clientID},
        {QStringLiteral("redirect_uri"), OpenAIProPlusAuthProtocol::redirectURI(port)},
        {QStringLiteral("scope"), OpenAIProPlusAuthProtocol::scope},
        {QStringLiteral("code_challenge"), pkce.codeChallenge},
        {QStringLiteral("code_challenge_method"), QStringLiteral("S256")},
        {QStringLiteral("id_token_add_organizations"), QStringLiteral("true")},
        {QStringLiteral("codex_cli_simplified_flow"), QStringLiteral("true")},
        {QStringLiteral("state"), state},
        {QStringLiteral("originator"), m_originator},
    });
    QUrl url = configuration().endpoint(QStringLiteral("/oauth/authorize"));
    url.setQuery(query);
    return url;
}

std::optional<TokenClaims> OpenAIProPlusAuthManager::parseClaims(const QString &jwt) const
{
    return TokenClaims::parse(jwt, configuration().authClaimKey);
}

std::optional<QString> OpenAIProPlusAuthManager::accountID(const TokenResponse &tokens) const
{
    if (tokens.idToken) {
        if (const auto claims = parseClaims(*tokens.idToken); claims && claims->accountID())
            return claims->accountID();
    }
    if (const auto claims = parseClaims(tokens.accessToken))
        return claims->accountID();
    return std::nullopt;
}

std::optional<QString> OpenAIProPlusAuthManager::extractEmail(const TokenResponse &tokens) const
{
    if (tokens.idToken) {
        if (const auto claims = parseClaims(*tokens.idToken);
            claims && claims->email && !claims->email->isEmpty())
            return claims->email;
    }
    if (const auto claims = parseClaims(tokens.accessToken);
        claims && claims->email && !claims->email->isEmpty())
        return claims->email;
    return std::nullopt;
}
