#pragma once

#include "core/auth/OpenAIProPlusAuthReply.h"
#include "core/desktop/UrlOpener.h"
#include "support/TestHttpServer.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QUrl>
#include <functional>

// Shared pieces of the sign-in tests: a fake sign-in authority on a local
// TestHttpServer, the configuration file that points the application at it,
// and small helpers for tokens and replies.
namespace AuthTestSupport {

inline const QString claimKey = QStringLiteral("https://api.authority.test/auth");

// Writes $XDG_CONFIG_HOME/Wrenlark/openai-auth.json with the server as issuer.
// Must run before anything reads the shared sign-in configuration.
void writeConfiguration(const TestHttpServer &authority);
// Writes $XDG_CONFIG_HOME/Wrenlark/model-catalog.json with `endpoint` as the
// subscription provider's responses endpoint.
void writeModelCatalog(const QUrl &endpoint);

// A token whose payload is `claims` (unsigned, as the claims are only read).
QString jwt(const QJsonObject &claims);
QJsonObject tokenReply(const QString &accessToken, const QString &refreshToken,
                       const QJsonObject &extra = {});

// Answers the authorize page with a redirect built by `location` from the
// authorize request (by default: to its redirect_uri with its state and the
// code "browser-code").
class FakeAuthority
{
public:
    explicit FakeAuthority(TestHttpServer &server);

    std::function<QString(const TestHttpServer::RecordedRequest &authorize)> location;

    static QString redirectWith(const TestHttpServer::RecordedRequest &authorize,
                                const QString &query);

private:
    TestHttpServer &m_server;
};

// Plays the browser: records every URL it is asked to open and, when
// `follow` is set, fetches it over HTTP following redirects, keeping the
// last page it got.
class TestBrowser : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;

    QList<QUrl> opened;
    QStringList pages;
    bool follow = true;

private:
    QNetworkAccessManager m_network;
};

// Runs the event loop until the reply has finished (or 10 s passed).
bool waitForReply(OpenAIProPlusAuthReply *reply, int timeoutMs = 10000);

} // namespace AuthTestSupport
