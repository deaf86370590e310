#pragma once

#include "core/auth/DeviceUserCodeResponse.h"
#include "core/auth/OpenAIProPlusAuthFlowHost.h"
#include "core/auth/OpenAIProPlusAuthHttp.h"
#include "core/auth/PKCECodes.h"

#include <QObject>
#include <QPointer>
#include <functional>

class OpenAIProPlusAuthReply;
class OpenAIProPlusCallbackServer;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class UrlOpener;
struct TokenResponse;

// The steps of one sign-in operation, run on the event loop for the host
// (the manager) that started it:
// the browser sign-in with its device-code fallback, or the refresh of a
// stored session. Lives as a child of the reply it ends; cancelling the reply
// stops whatever step is running (a transfer, the callback wait, a poll delay).
class OpenAIProPlusAuthFlow : public QObject
{
public:
    using ProgressHandler = OpenAIProPlusAuthFlowHost::ProgressHandler;

    OpenAIProPlusAuthFlow(OpenAIProPlusAuthFlowHost &host, OpenAIProPlusAuthReply *reply);
    ~OpenAIProPlusAuthFlow() override;

    // The host's in-flight mark must already be set; the flow clears it
    // when the sign-in ends in any way.
    void signIn(UrlOpener &browser, ProgressHandler onProgress);
    void refresh(const OpenAIProPlusAuthSession &stored);

private:
    using Result = OpenAIProPlusAuthHttp::Result;

    void startBrowserSignIn();
    void callbackFinished();
    void exchangeCode(const QString &code);
    void browserSignInFailed(const OpenAIProPlusAuthError &error);

    void startDeviceSignIn();
    void deviceUserCodeReceived(const DeviceUserCodeResponse &device);
    void poll();
    void pollAnswered(const Result &result);
    void exchangeDeviceCode(const QString &code, const QString &codeVerifier);

    void completeSignIn(const TokenResponse &tokens);
    void completeRefresh(const OpenAIProPlusAuthSession &stored, const TokenResponse &tokens);

    void send(QNetworkReply *reply, std::function<void(const Result &)> handler);
    // The tokens of a 2xx reply; fails the operation and answers nothing otherwise.
    std::optional<TokenResponse> decodeTokens(const Result &result);
    void progress(const QString &text);
    void openBrowser(const QUrl &url);
    void fail(const OpenAIProPlusAuthError &error);
    void stopWork();
    void releaseAuthorization();
    int requestTimeoutMilliseconds() const;

    OpenAIProPlusAuthFlowHost &m_host;
    OpenAIProPlusAuthReply *m_reply;
    QNetworkAccessManager *m_session;
    QTimer *m_pollTimer;
    OpenAIProPlusCallbackServer *m_server = nullptr;
    QPointer<QNetworkReply> m_pending;
    ProgressHandler m_onProgress;
    UrlOpener *m_browser = nullptr;
    PKCECodes m_pkce;
    QString m_state;
    quint16 m_redirectPort = 0;
    DeviceUserCodeResponse m_device;
    bool m_holdsAuthorization = false;
};
