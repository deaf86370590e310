#include "core/auth/OpenAIProPlusAuthFlow.h"

#include "core/auth/OpenAIProPlusAuthReply.h"
#include "core/auth/OpenAIProPlusCallbackServer.h"
#include "core/auth/TokenResponse.h"
#include "core/desktop/UrlOpener.h"
#include "core/support/Logging.h"

#include <QDateTime>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

namespace {

constexpr double refreshMarginSeconds = 30;
constexpr double defaultTokenLifetimeSeconds = 3600;

double secondsSince1970()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

int milliseconds(double seconds)
{
    return int(qBound(0.0, seconds * 1000.0, double(INT_MAX)));
}

} // namespace

OpenAIProPlusAuthFlow::OpenAIProPlusAuthFlow(OpenAIProPlusAuthFlowHost &host,
                                             OpenAIProPlusAuthReply *reply)
    : QObject(reply)
    , m_host(host)
    , m_reply(reply)
    , m_session(new QNetworkAccessManager(this))
    , m_pollTimer(new QTimer(this))
{
    m_pollTimer->setSingleShot(true);
    connect(m_pollTimer, &QTimer::timeout, this, &OpenAIProPlusAuthFlow::poll);
    reply->setCancelHandler([this] {
        stopWork();
        releaseAuthorization();
    });
}

OpenAIProPlusAuthFlow::~OpenAIProPlusAuthFlow()
{
    stopWork();
    releaseAuthorization();
}

int OpenAIProPlusAuthFlow::requestTimeoutMilliseconds() const
{
    return milliseconds(m_host.options().requestTimeoutSeconds);
}

void OpenAIProPlusAuthFlow::signIn(UrlOpener &browser, ProgressHandler onProgress)
{
    m_holdsAuthorization = true;
    m_browser = &browser;
    m_onProgress = std::move(onProgress);
    m_pkce = PKCECodes::generate();
    m_state = generateState();
    startBrowserSignIn();
}

void OpenAIProPlusAuthFlow::startBrowserSignIn()
{
    m_server = new OpenAIProPlusCallbackServer(m_host.options().callbackPort, m_state, this);
    if (const auto error = m_server->start()) {
        delete std::exchange(m_server, nullptr);
        browserSignInFailed(*error);
        return;
    }
    m_redirectPort = m_server->port();
    connect(m_server, &OpenAIProPlusCallbackServer::finished, this,
            &OpenAIProPlusAuthFlow::callbackFinished);
    const QUrl authorizeURL = m_host.buildAuthorizeURL(m_pkce, m_state, m_server->port());
    qCInfo(lcAuth).noquote() << QStringLiteral("Starting OpenAI Pro/Plus browser authorization.");
    openBrowser(authorizeURL);
    m_server->waitForCode(m_host.options().callbackTimeoutSeconds);
}

void OpenAIProPlusAuthFlow::callbackFinished()
{
    const auto outcome = *m_server->outcome();
    if (const auto *error = std::get_if<OpenAIProPlusAuthError>(&outcome)) {
        stopWork();
        browserSignInFailed(*error);
        return;
    }
    exchangeCode(std::get<QString>(outcome));
}

void OpenAIProPlusAuthFlow::exchangeCode(const QString &code)
{
    const OpenAIProPlusAuthHttp::FormFields fields{
        {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
        {QStringLiteral("code"), code},
        {QStringLiteral("redirect_uri"), OpenAIProPlusAuthProtocol::redirectURI(m_redirectPort)},
        {QStringLiteral("client_id"), OpenAIProPlusAuthProtocol::clientID},
        {QStringLiteral("code_verifier"), m_pkce.codeVerifier},
    };
    const QUrl url = m_host.configuration().endpoint(QStringLiteral("/oauth/token"));
    send(OpenAIProPlusAuthHttp::postForm(*m_session, url, fields, requestTimeoutMilliseconds()),
         [this](const Result &result) {
             if (!result.error && !result.isSuccess()) {
                 qCWarning(lcAuth).noquote()
                     << QStringLiteral("OpenAI Pro/Plus token exchange failed with status %1.")
                            .arg(result.statusCode);
                 fail(OpenAIProPlusAuthError::tokenExchangeFailed(result.statusCode));
                 return;
             }
             if (const auto tokens = decodeTokens(result))
                 completeSignIn(*tokens);
         });
}

void OpenAIProPlusAuthFlow::browserSignInFailed(const OpenAIProPlusAuthError &error)
{
    if (!error.isAddressInUse()) {
        fail(error);
        return;
    }
    const quint16 port = m_host.options().callbackPort;
    qCInfo(lcAuth).noquote()
        << QStringLiteral("Port %1 is already in use. Falling back to OpenAI device authorization.")
               .arg(port);
    progress(QStringLiteral("Port %1 is in use by another app. Falling back to device login\u2026")
                 .arg(port));
    if (!m_reply->isFinished())
        startDeviceSignIn();
}

void OpenAIProPlusAuthFlow::startDeviceSignIn()
{
    const QUrl url =
        m_host.configuration().endpoint(QStringLiteral("/api/accounts/deviceauth/usercode"));
    const QJsonObject body{{QStringLiteral("client_id"), OpenAIProPlusAuthProtocol::clientID}};
    send(OpenAIProPlusAuthHttp::postJson(*m_session, url, body, requestTimeoutMilliseconds()),
         [this](const Result &result) {
             if (result.error) {
                 fail(*result.error);
                 return;
             }
             if (!result.isSuccess()) {
                 fail(OpenAIProPlusAuthError::deviceAuthorizationFailed());
                 return;
             }
             QString problem;
             if (const auto device = DeviceUserCodeResponse::decode(result.body, &problem))
                 deviceUserCodeReceived(*device);
             else
                 fail(OpenAIProPlusAuthError::decodingFailed(problem));
         });
}

void OpenAIProPlusAuthFlow::deviceUserCodeReceived(const DeviceUserCodeResponse &device)
{
    m_device = device;
    progress(QStringLiteral("OpenAI device login code: ") + device.userCode);
    if (m_reply->isFinished())
        return;
    openBrowser(m_host.configuration().endpoint(QStringLiteral("/codex/device")));
    m_pollTimer->setInterval(
        milliseconds(double(device.intervalSeconds()) + m_host.options().devicePollExtraSeconds));
    poll();
}

void OpenAIProPlusAuthFlow::poll()
{
    const QUrl url =
        m_host.configuration().endpoint(QStringLiteral("/api/accounts/deviceauth/token"));
    const QJsonObject body{{QStringLiteral("device_auth_id"), m_device.deviceAuthID},
                           {QStringLiteral("user_code"), m_device.userCode}};
    send(OpenAIProPlusAuthHttp::postJson(*m_session, url, body, requestTimeoutMilliseconds()),
         [this](const Result &result) { pollAnswered(result); });
}

void OpenAIProPlusAuthFlow::pollAnswered(const Result &result)
{
    if (result.error) {
        fail(*result.error);
        return;
    }
    if (result.statusCode == 403 || result.statusCode == 404) {
        m_pollTimer->start(); // not approved yet
        return;
    }
    if (!result.isSuccess()) {
        fail(OpenAIProPlusAuthError::deviceAuthorizationFailed());
        return;
    }
    QString problem;
    const auto code = DeviceAuthorizationCodeResponse::decode(result.body, &problem);
    if (!code) {
        fail(OpenAIProPlusAuthError::decodingFailed(problem));
        return;
    }
    exchangeDeviceCode(code->authorizationCode, code->codeVerifier);
}

void OpenAIProPlusAuthFlow::exchangeDeviceCode(const QString &code, const QString &codeVerifier)
{
    const auto &configuration = m_host.configuration();
    const OpenAIProPlusAuthHttp::FormFields fields{
        {QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
        {QStringLiteral("code"), code},
        {QStringLiteral("redirect_uri"),
         configuration.endpoint(QStringLiteral("/deviceauth/callback")).toString()},
        {QStringLiteral("client_id"), OpenAIProPlusAuthProtocol::clientID},
        {QStringLiteral("code_verifier"), codeVerifier},
    };
    const QUrl url = configuration.endpoint(QStringLiteral("/oauth/token"));
    send(OpenAIProPlusAuthHttp::postForm(*m_session, url, fields, requestTimeoutMilliseconds()),
         [this](const Result &result) {
             if (!result.error && !result.isSuccess()) {
                 fail(OpenAIProPlusAuthError::tokenExchangeFailed(result.statusCode));
                 return;
             }
             if (const auto tokens = decodeTokens(result))
                 completeSignIn(*tokens);
         });
}

void OpenAIProPlusAuthFlow::completeSignIn(const TokenResponse &tokens)
{
    const double now = secondsSince1970();
    OpenAIProPlusAuthSession session;
    session.refreshToken = tokens.refreshToken;
    session.accessToken = tokens.accessToken;
    session.expiresAt =
        now + (tokens.expiresIn ? double(*tokens.expiresIn) : defaultTokenLifetimeSeconds);
    session.accountID = m_host.accountID(tokens);
    session.email = m_host.extractEmail(tokens);
    m_host.save(session);
    qCInfo(lcAuth).noquote() << QStringLiteral("Stored OpenAI Pro/Plus OAuth session.");
    stopWork();
    releaseAuthorization();
    m_reply->finishWithSession(session);
}

void OpenAIProPlusAuthFlow::refresh(const OpenAIProPlusAuthSession &stored)
{
    if (stored.expiresAt > secondsSince1970() + refreshMarginSeconds) {
        m_reply->finishWithSession(stored);
        return;
    }
    qCInfo(lcAuth).noquote() << QStringLiteral("Refreshing OpenAI Pro/Plus access token.");
    const OpenAIProPlusAuthHttp::FormFields fields{
        {QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
        {QStringLiteral("refresh_token"), stored.refreshToken},
        {QStringLiteral("client_id"), OpenAIProPlusAuthProtocol::clientID},
    };
    const QUrl url = m_host.configuration().endpoint(QStringLiteral("/oauth/token"));
    send(OpenAIProPlusAuthHttp::postForm(*m_session, url, fields, requestTimeoutMilliseconds()),
         [this, stored](const Result &result) {
             if (!result.error && !result.isSuccess()) {
                 qCWarning(lcAuth).noquote()
                     << QStringLiteral("OpenAI Pro/Plus token refresh failed with status %1.")
                            .arg(result.statusCode);
                 fail(OpenAIProPlusAuthError::tokenRefreshFailed(result.statusCode));
                 return;
             }
             if (const auto tokens = decodeTokens(result))
                 completeRefresh(stored, *tokens);
         });
}

void OpenAIProPlusAuthFlow::completeRefresh(const OpenAIProPlusAuthSession &stored,
                                            const TokenResponse &tokens)
{
    OpenAIProPlusAuthSession session;
    // The refresh token stays the one of the session, whatever the reply carries.
    session.refreshToken = stored.refreshToken;
    session.accessToken = tokens.accessToken;
    session.expiresAt = secondsSince1970() + (tokens.expiresIn ? double(*tokens.expiresIn)
                                                               : defaultTokenLifetimeSeconds);
    session.accountID = m_host.accountID(tokens);
    if (!session.accountID)
        session.accountID = stored.accountID;
    session.email = m_host.extractEmail(tokens);
    if (!session.email)
        session.email = stored.email;
    m_host.save(session);
    m_reply->finishWithSession(session);
}

void OpenAIProPlusAuthFlow::send(QNetworkReply *reply, std::function<void(const Result &)> handler)
{
    m_pending = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, handler = std::move(handler)] {
        m_pending = nullptr;
        reply->deleteLater();
        handler(OpenAIProPlusAuthHttp::result(reply));
    });
}

std::optional<TokenResponse> OpenAIProPlusAuthFlow::decodeTokens(const Result &result)
{
    if (result.error) {
        fail(*result.error);
        return std::nullopt;
    }
    QString problem;
    auto tokens = TokenResponse::decode(result.body, &problem);
    if (!tokens)
        fail(OpenAIProPlusAuthError::decodingFailed(problem));
    return tokens;
}

void OpenAIProPlusAuthFlow::progress(const QString &text)
{
    if (m_onProgress)
        m_onProgress(text);
}

void OpenAIProPlusAuthFlow::openBrowser(const QUrl &url)
{
    if (!m_browser || !m_browser->openUrl(url))
        qCWarning(lcAuth).noquote()
            << QStringLiteral("Could not open the browser for OpenAI login.");
}

void OpenAIProPlusAuthFlow::fail(const OpenAIProPlusAuthError &error)
{
    stopWork();
    releaseAuthorization();
    m_reply->finishWithError(error);
}

void OpenAIProPlusAuthFlow::stopWork()
{
    m_pollTimer->stop();
    if (m_pending) {
        QNetworkReply *reply = m_pending;
        m_pending = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
    if (m_server) {
        m_server->disconnect(this);
        m_server->stop();
        m_server->deleteLater();
        m_server = nullptr;
    }
}

void OpenAIProPlusAuthFlow::releaseAuthorization()
{
    if (std::exchange(m_holdsAuthorization, false))
        m_host.endAuthorization();
}
