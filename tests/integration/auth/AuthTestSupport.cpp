#include "AuthTestSupport.h"

#include "core/auth/OpenAIProPlusAuthConfiguration.h"
#include "core/catalog/SharedModelCatalogStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QUrlQuery>

namespace AuthTestSupport {

namespace {

void writeJson(const QString &path, const QJsonObject &object)
{
    // Only ever inside the per-test sandbox, never the user's configuration.
    if (qEnvironmentVariableIsEmpty("WRENLARK_TEST_SANDBOX"))
        qFatal("run this test through ctest: it writes configuration files");
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(QJsonDocument(object).toJson());
}

} // namespace

void writeConfiguration(const TestHttpServer &authority)
{
    writeJson(OpenAIProPlusAuthConfiguration::userConfigurationPath(),
              {{QStringLiteral("issuer"), authority.url(QString()).toString()},
               {QStringLiteral("authClaimKey"), claimKey}});
}

void writeModelCatalog(const QUrl &endpoint)
{
    const QJsonObject provider{
        {QStringLiteral("id"), QStringLiteral("openai-pro-plus")},
        {QStringLiteral("endpoint"), endpoint.toString()},
        {QStringLiteral("models"), QJsonArray{QJsonObject{{QStringLiteral("id"), "gpt-5.4"}}}}};
    writeJson(SharedModelCatalogStore::userCatalogPath(),
              {{QStringLiteral("providers"), QJsonArray{provider}}});
}

QString jwt(const QJsonObject &claims)
{
    const auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
    return QStringLiteral("eyJhbGciOiJub25lIn0.") +
           QString::fromLatin1(QJsonDocument(claims).toJson().toBase64(base64url)) +
           QStringLiteral(".c2ln");
}

QJsonObject tokenReply(const QString &accessToken, const QString &refreshToken,
                       const QJsonObject &extra)
{
    QJsonObject reply{{QStringLiteral("access_token"), accessToken},
                      {QStringLiteral("refresh_token"), refreshToken},
                      {QStringLiteral("token_type"), QStringLiteral("Bearer")}};
    for (auto it = extra.begin(); it != extra.end(); ++it)
        reply.insert(it.key(), it.value());
    return reply;
}

FakeAuthority::FakeAuthority(TestHttpServer &server)
    : m_server(server)
{
    location = [](const TestHttpServer::RecordedRequest &authorize) {
        return redirectWith(authorize, QStringLiteral("code=browser-code&state=") +
                                           QUrl::toPercentEncoding(authorize.queryItem("state")));
    };
    // The redirect depends on the request (its state), so it is queued the
    // moment the request is recorded, before the server picks its answer.
    QObject::connect(&server, &TestHttpServer::requestReceived, &server, [this](int index) {
        const auto &request = m_server.requests().at(index);
        if (request.path != "/oauth/authorize")
            return;
        m_server.enqueue("GET", "/oauth/authorize",
                         TestHttpServer::Response::body(302, "", "text/html")
                             .withHeader("Location", location(request).toUtf8()));
    });
}

QString FakeAuthority::redirectWith(const TestHttpServer::RecordedRequest &authorize,
                                    const QString &query)
{
    return authorize.queryItem(QStringLiteral("redirect_uri")) + QLatin1Char('?') + query;
}

bool TestBrowser::openUrl(const QUrl &url)
{
    opened.append(url);
    if (!follow)
        return true;
    QNetworkReply *reply = m_network.get(QNetworkRequest(url));
    QObject::connect(reply, &QNetworkReply::finished, &m_network, [this, reply] {
        pages.append(QString::fromUtf8(reply->readAll()));
        reply->deleteLater();
    });
    return true;
}

bool waitForReply(OpenAIProPlusAuthReply *reply, int timeoutMs)
{
    if (reply->isFinished())
        return true;
    QSignalSpy finished(reply, &OpenAIProPlusAuthReply::finished);
    return finished.wait(timeoutMs);
}

} // namespace AuthTestSupport
