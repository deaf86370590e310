#include "AuthTestSupport.h"
#include "core/auth/OpenAIProPlusAuthHttp.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/PKCECodes.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

using namespace AuthTestSupport;
using Response = TestHttpServer::Response;
using Kind = OpenAIProPlusAuthError::Kind;

namespace {

double now()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QUrlQuery form(const TestHttpServer::RecordedRequest &request)
{
    return QUrlQuery(QString::fromUtf8(request.body));
}

QString formValue(const TestHttpServer::RecordedRequest &request, const QString &name)
{
    return form(request).queryItemValue(name, QUrl::FullyDecoded);
}

} // namespace

class TestSignIn : public QObject
{
    Q_OBJECT

    TestHttpServer m_authority;
    std::unique_ptr<FakeAuthority> m_fakeAuthority;
    std::shared_ptr<TestBrowser> m_browser;
    std::shared_ptr<FakeSecretStore> m_secrets;
    std::unique_ptr<OpenAIProPlusAuthManager> m_manager;
    qsizetype m_firstRequest = 0;

    OpenAIProPlusAuthManager &manager(OpenAIProPlusAuthOptions options = {})
    {
        if (options.callbackPort == OpenAIProPlusAuthProtocol::callbackPort)
            options.callbackPort = 0; // never the real port in tests
        options.devicePollExtraSeconds = 0.02;
        m_manager = std::make_unique<OpenAIProPlusAuthManager>(
            KeychainStore(QStringLiteral("com.wrenlark"), m_secrets), options);
        return *m_manager;
    }

    // Requests to `path` made by the current test.
    QList<TestHttpServer::RecordedRequest> requestsTo(const QByteArray &path) const
    {
        QList<TestHttpServer::RecordedRequest> found;
        for (qsizetype i = m_firstRequest; i < m_authority.requests().size(); ++i) {
            if (m_authority.requests().at(i).path == path)
                found.append(m_authority.requests().at(i));
        }
        return found;
    }

    void storeSession(double expiresAt)
    {
        m_manager->save({QStringLiteral("stored-refresh"), QStringLiteral("stored-access"),
                         expiresAt, QStringLiteral("acct-stored"),
                         QStringLiteral("stored@example.com")});
    }

private Q_SLOTS:
    void initTestCase()
    {
        writeConfiguration(m_authority);
        m_fakeAuthority = std::make_unique<FakeAuthority>(m_authority);
    }

    void init()
    {
        m_browser = std::make_shared<TestBrowser>();
        m_secrets = std::make_shared<FakeSecretStore>();
        m_firstRequest = m_authority.requestCount();
        m_fakeAuthority->location = [](const TestHttpServer::RecordedRequest &authorize) {
            return FakeAuthority::redirectWith(
                authorize, QStringLiteral("code=browser-code&state=") +
                               QUrl::toPercentEncoding(authorize.queryItem("state")));
        };
    }

    void cleanup() { m_manager.reset(); }

    void browserSignInStoresTheSession()
    {
        m_authority.enqueue(
            "POST", "/oauth/token",
            Response::json(
                200,
                tokenReply(
                    jwt({{claimKey, QJsonObject{{"chatgpt_account_id", "acct-from-access"}}}}),
                    QStringLiteral("refresh-1"),
                    {{"id_token", jwt({{"email", "me@example.com"}})}, {"expires_in", 1234}})));
        const double before = now();
        auto *reply = manager().authorizeInteractive(*m_browser);
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::succeeded);

        const auto stored = m_manager->storedSession();
        QVERIFY(stored);
        QCOMPARE(*stored, *reply->session());
        QCOMPARE(stored->refreshToken, QStringLiteral("refresh-1"));
        QCOMPARE(stored->accountID, QStringLiteral("acct-from-access"));
        QCOMPARE(stored->email, QStringLiteral("me@example.com"));
        QVERIFY(stored->expiresAt >= before + 1234 && stored->expiresAt <= now() + 1234);

        // The browser followed the authority's redirect to the listener.
        QTRY_COMPARE(m_browser->pages.size(), 1);
        QVERIFY(m_browser->pages.first().contains(QStringLiteral("Authorization Successful")));

        // The exchange proves the verifier behind the challenge of the authorize request.
        const auto authorize = requestsTo("/oauth/authorize");
        const auto token = requestsTo("/oauth/token");
        // Qt's HTTP client now and then sends a GET twice on a kept-alive
        // connection; the page is the same every time.
        QVERIFY(!authorize.isEmpty());
        for (const auto &request : authorize)
            QCOMPARE(request.target, authorize.first().target);
        QCOMPARE(token.size(), 1);
        QCOMPARE(token.first().header("Content-Type"), "application/x-www-form-urlencoded");
        QCOMPARE(formValue(token.first(), "grant_type"), QStringLiteral("authorization_code"));
        QCOMPARE(formValue(token.first(), "code"), QStringLiteral("browser-code"));
        QCOMPARE(formValue(token.first(), "client_id"), OpenAIProPlusAuthProtocol::clientID);
        QCOMPARE(formValue(token.first(), "redirect_uri"),
                 authorize.first().queryItem("redirect_uri"));
        QVERIFY(authorize.first().queryItem("redirect_uri").startsWith("http://localhost:"));
        QCOMPARE(PKCECodes::challenge(formValue(token.first(), "code_verifier")),
                 authorize.first().queryItem("code_challenge"));

        const QString log = TestSandbox::flushedLog();
        QVERIFY(
            log.contains(QStringLiteral("[INFO] Starting OpenAI Pro/Plus browser authorization.")));
        QVERIFY(log.contains(QStringLiteral("[INFO] Stored OpenAI Pro/Plus OAuth session.")));
        QVERIFY(!log.contains(QStringLiteral("refresh-1")));
        QVERIFY(!log.contains(QStringLiteral("browser-code")));
    }

    void refusedBrowserSignIns_data()
    {
        QTest::addColumn<QString>("redirectQuery");
        QTest::addColumn<int>("tokenStatus");
        QTest::addColumn<int>("errorKind");
        QTest::newRow("user refuses") << "error=access_denied&error_description=No&state={state}"
                                      << 0 << int(Kind::loginCanceled);
        QTest::newRow("token endpoint refuses") << "" << 400 << int(Kind::tokenExchangeFailed);
    }

    void refusedBrowserSignIns()
    {
        QFETCH(QString, redirectQuery);
        QFETCH(int, tokenStatus);
        QFETCH(int, errorKind);
        if (!redirectQuery.isEmpty()) {
            m_fakeAuthority->location = [redirectQuery](const TestHttpServer::RecordedRequest &a) {
                QString query = redirectQuery;
                query.replace(QStringLiteral("{state}"),
                              QString::fromLatin1(QUrl::toPercentEncoding(a.queryItem("state"))));
                return FakeAuthority::redirectWith(a, query);
            };
        }
        if (tokenStatus)
            m_authority.enqueue("POST", "/oauth/token",
                                Response::json(tokenStatus, {{"error", "invalid_grant"}}));
        auto *reply = manager().authorizeInteractive(*m_browser);
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::failed);
        QCOMPARE(int(reply->error()->kind()), errorKind);
        QCOMPARE(m_secrets->itemCount(), 0);
        if (tokenStatus) {
            QCOMPARE(reply->error()->errorDescription(),
                     QStringLiteral("OpenAI token exchange failed (400)."));
            QVERIFY(TestSandbox::flushedLog().contains(
                QStringLiteral("[ERROR] OpenAI Pro/Plus token exchange failed with status 400.")));
        }
        // The flag is cleared: a new sign-in may start.
        auto *again = m_manager->authorizeInteractive(*m_browser);
        QVERIFY(!again->isFinished());
        again->cancel();
    }

    // Any page can send a redirect to the port: one without this sign-in's
    // state is answered and the sign-in goes on waiting for the real one.
    void forgedRedirectDoesNotEndTheSignIn()
    {
        m_fakeAuthority->location = [](const TestHttpServer::RecordedRequest &a) {
            return FakeAuthority::redirectWith(a, QStringLiteral("code=c&state=forged"));
        };
        auto *reply = manager().authorizeInteractive(*m_browser);
        QVERIFY(TestHttpServer::waitUntil([&] { return !m_browser->pages.isEmpty(); }, 10000));
        QVERIFY2(m_browser->pages.last().contains(QStringLiteral("Invalid state value.")),
                 qPrintable(m_browser->pages.last()));
        QVERIFY(!reply->isFinished());
        reply->cancel();
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::cancelled);
        QCOMPARE(m_secrets->itemCount(), 0);
    }

    void secondSignInIsRefusedAndCancellingFreesThePort()
    {
        m_browser->follow = false;
        auto *first = manager().authorizeInteractive(*m_browser);
        QTRY_COMPARE(m_browser->opened.size(), 1);
        const QUrl redirect(QUrlQuery(m_browser->opened.first())
                                .queryItemValue("redirect_uri", QUrl::FullyDecoded));
        auto *second = m_manager->authorizeInteractive(*m_browser);
        QVERIFY(waitForReply(second));
        QCOMPARE(second->error()->kind(), Kind::alreadyAuthorizing);
        QCOMPARE(second->error()->errorDescription(),
                 QStringLiteral("A login flow is already in progress."));
        QVERIFY(!first->isFinished());

        QSignalSpy finished(first, &OpenAIProPlusAuthReply::finished);
        first->cancel();
        QCOMPARE(first->state(), OpenAIProPlusAuthReply::State::cancelled);
        QVERIFY(finished.wait(2000));
        QCOMPARE(first->error(), std::nullopt);
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(redirect.port()));
        QVERIFY(!probe.waitForConnected(1000));
        auto *third = m_manager->authorizeInteractive(*m_browser);
        QVERIFY(!third->isFinished());
        third->cancel();
    }

    void takenPortFallsBackToDeviceSignIn()
    {
        QTcpServer otherApp;
        QVERIFY(otherApp.listen(QHostAddress::LocalHost, 0));
        m_authority.enqueue(
            "POST", "/api/accounts/deviceauth/usercode",
            Response::json(
                200, {{"device_auth_id", "dev-1"}, {"user_code", "ABCD-1234"}, {"interval", "0"}}));
        m_authority.enqueue("POST", "/api/accounts/deviceauth/token", Response::json(404, {}));
        m_authority.enqueue("POST", "/api/accounts/deviceauth/token", Response::json(403, {}));
        m_authority.enqueue("POST", "/api/accounts/deviceauth/token",
                            Response::json(200, {{"authorization_code", "dev-code"},
                                                 {"code_verifier", "dev-verifier"}}));
        m_authority.enqueue("POST", "/oauth/token",
                            Response::json(200, tokenReply(QStringLiteral("opaque-access"),
                                                           QStringLiteral("dev-refresh"))));
        OpenAIProPlusAuthOptions options;
        options.callbackPort = otherApp.serverPort();
        QStringList progress;
        const double before = now();
        auto *reply = manager(options).authorizeInteractive(
            *m_browser, [&](const QString &text) { progress.append(text); });
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::succeeded);

        const QString port = QString::number(otherApp.serverPort());
        QCOMPARE(progress, (QStringList{QStringLiteral("Port ") + port +
                                            QStringLiteral(" is in use by another app. Falling "
                                                           "back to device login\u2026"),
                                        QStringLiteral("OpenAI device login code: ABCD-1234")}));
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[INFO] Port ") + port +
            QStringLiteral(" is already in use. Falling back to OpenAI device authorization.")));
        QCOMPARE(m_browser->opened, QList<QUrl>{m_authority.url("/codex/device")});

        const auto userCode = requestsTo("/api/accounts/deviceauth/usercode");
        QCOMPARE(userCode.size(), 1);
        QCOMPARE(userCode.first().header("User-Agent"), "Wrenlark/1");
        QCOMPARE(userCode.first().jsonBody(),
                 (QJsonObject{{"client_id", OpenAIProPlusAuthProtocol::clientID}}));
        const auto polls = requestsTo("/api/accounts/deviceauth/token");
        QCOMPARE(polls.size(), 3);
        QCOMPARE(polls.last().jsonBody(),
                 (QJsonObject{{"device_auth_id", "dev-1"}, {"user_code", "ABCD-1234"}}));
        const auto token = requestsTo("/oauth/token");
        QCOMPARE(token.size(), 1);
        QCOMPARE(formValue(token.first(), "code"), QStringLiteral("dev-code"));
        QCOMPARE(formValue(token.first(), "code_verifier"), QStringLiteral("dev-verifier"));
        QCOMPARE(formValue(token.first(), "redirect_uri"),
                 m_authority.url("/deviceauth/callback").toString());

        const auto stored = m_manager->storedSession();
        QVERIFY(stored);
        QCOMPARE(stored->refreshToken, QStringLiteral("dev-refresh"));
        QCOMPARE(stored->accountID, std::nullopt);
        QCOMPARE(stored->email, std::nullopt);
        QVERIFY(stored->expiresAt >= before + 3600 && stored->expiresAt <= now() + 3600);
    }

    void refusedDeviceSignIns_data()
    {
        QTest::addColumn<int>("userCodeStatus");
        QTest::addColumn<int>("pollStatus");
        QTest::addColumn<int>("errorKind");
        QTest::newRow("user code refused") << 400 << 0 << int(Kind::deviceAuthorizationFailed);
        QTest::newRow("poll 400") << 200 << 400 << int(Kind::deviceAuthorizationFailed);
        QTest::newRow("poll 500") << 200 << 500 << int(Kind::deviceAuthorizationFailed);
    }

    void refusedDeviceSignIns()
    {
        QFETCH(int, userCodeStatus);
        QFETCH(int, pollStatus);
        QFETCH(int, errorKind);
        QTcpServer otherApp;
        QVERIFY(otherApp.listen(QHostAddress::LocalHost, 0));
        m_authority.enqueue(
            "POST", "/api/accounts/deviceauth/usercode",
            Response::json(userCodeStatus,
                           {{"device_auth_id", "d"}, {"user_code", "U"}, {"interval", "-3"}}));
        if (pollStatus)
            m_authority.enqueue("POST", "/api/accounts/deviceauth/token",
                                Response::json(pollStatus, {}));
        OpenAIProPlusAuthOptions options;
        options.callbackPort = otherApp.serverPort();
        auto *reply = manager(options).authorizeInteractive(*m_browser);
        QVERIFY(waitForReply(reply));
        QCOMPARE(int(reply->error()->kind()), errorKind);
        QCOMPARE(reply->error()->errorDescription(),
                 QStringLiteral("OpenAI device authorization failed."));
    }

    void cancellingDevicePollingStopsIt()
    {
        QTcpServer otherApp;
        QVERIFY(otherApp.listen(QHostAddress::LocalHost, 0));
        m_authority.enqueue(
            "POST", "/api/accounts/deviceauth/usercode",
            Response::json(200, {{"device_auth_id", "d"}, {"user_code", "U"}, {"interval", "0"}}));
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(403, {}));
        OpenAIProPlusAuthOptions options;
        options.callbackPort = otherApp.serverPort();
        auto *reply = manager(options).authorizeInteractive(*m_browser);
        QTRY_VERIFY(requestsTo("/api/accounts/deviceauth/token").size() >= 3);
        reply->cancel();
        const qsizetype polls = requestsTo("/api/accounts/deviceauth/token").size();
        QVERIFY(waitForReply(reply));
        QTest::qWait(200);
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::cancelled);
        QVERIFY(requestsTo("/api/accounts/deviceauth/token").size() <= polls + 1);
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(404, {}));
    }

    void dueSessionIsRefreshedOnce()
    {
        manager();
        storeSession(now() + 10);
        m_authority.enqueue("POST", "/oauth/token",
                            Response::json(200, tokenReply(QStringLiteral("fresh-access"),
                                                           QStringLiteral("rotated-refresh"))));
        const double before = now();
        auto *reply = m_manager->validSession();
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::succeeded);
        const auto stored = m_manager->storedSession();
        QCOMPARE(*stored, *reply->session());
        QCOMPARE(stored->accessToken, QStringLiteral("fresh-access"));
        QCOMPARE(stored->refreshToken, QStringLiteral("stored-refresh"));
        QCOMPARE(stored->accountID, QStringLiteral("acct-stored"));
        QCOMPARE(stored->email, QStringLiteral("stored@example.com"));
        QVERIFY(stored->expiresAt >= before + 3600 && stored->expiresAt <= now() + 3600);

        const auto token = requestsTo("/oauth/token");
        QCOMPARE(token.size(), 1);
        QCOMPARE(formValue(token.first(), "grant_type"), QStringLiteral("refresh_token"));
        QCOMPARE(formValue(token.first(), "refresh_token"), QStringLiteral("stored-refresh"));
        QCOMPARE(formValue(token.first(), "client_id"), OpenAIProPlusAuthProtocol::clientID);
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[INFO] Refreshing OpenAI Pro/Plus access token.")));

        // Valid for another hour now: no second refresh.
        auto *again = m_manager->validSession();
        QVERIFY(waitForReply(again));
        QCOMPARE(*again->session(), *stored);
        QCOMPARE(requestsTo("/oauth/token").size(), 1);
    }

    void refreshTakesNewAccountAndEmailFromTheReply()
    {
        manager();
        storeSession(now() - 100);
        m_authority.enqueue(
            "POST", "/oauth/token",
            Response::json(200, tokenReply(QStringLiteral("a2"), QStringLiteral("r2"),
                                           {{"id_token", jwt({{"email", "new@example.com"},
                                                              {"chatgpt_account_id", "acct-new"}})},
                                            {"expires_in", 60}})));
        auto *reply = m_manager->validSession();
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->session()->accountID, QStringLiteral("acct-new"));
        QCOMPARE(reply->session()->email, QStringLiteral("new@example.com"));
    }

    void refusedRefreshLeavesTheSessionAsItWas()
    {
        manager();
        storeSession(now() + 5);
        const auto before = m_manager->storedSession();
        m_authority.enqueue("POST", "/oauth/token",
                            Response::json(401, {{"error", "invalid_grant"}}));
        auto *reply = m_manager->validSession();
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->error()->kind(), Kind::tokenRefreshFailed);
        QCOMPARE(reply->error()->statusCode(), 401);
        QCOMPARE(m_manager->storedSession(), before);
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] OpenAI Pro/Plus token refresh failed with status 401.")));
    }

    // An answer that never ends is cut off at the bound, not kept whole.
    void oversizedAnswerFailsTheRefreshClearly()
    {
        manager();
        storeSession(now() + 5);
        const auto before = m_manager->storedSession();
        m_authority.enqueue(
            "POST", "/oauth/token",
            Response::body(200, QByteArray(OpenAIProPlusAuthHttp::maximumAnswerBytes * 4, ' ')));
        auto *reply = m_manager->validSession();
        QVERIFY(waitForReply(reply));
        QCOMPARE(reply->error()->kind(), Kind::decodingFailed);
        QVERIFY2(reply->error()->errorDescription().contains(
                     QStringLiteral("The answer is larger than 1024 KiB.")),
                 qPrintable(reply->error()->errorDescription()));
        QCOMPARE(m_manager->storedSession(), before);
    }
};

QTEST_GUILESS_MAIN(TestSignIn)
#include "test_signin.moc"
