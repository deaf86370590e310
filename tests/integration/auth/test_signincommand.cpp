#include "AuthTestSupport.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "support/SecretServiceTestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>
#include <csignal>

using namespace AuthTestSupport;
using Response = TestHttpServer::Response;

namespace {

struct Run
{
    int exitCode = -1;
    QString output;
    QString error;
};

} // namespace

// `wrenlark signin` and `wrenlark signout` as a user runs them, against a
// local authority and the Secret Service of the private test desktop.
class TestSignInCommand : public QObject
{
    Q_OBJECT

    TestHttpServer m_authority;
    std::unique_ptr<FakeAuthority> m_fakeAuthority;
    QTcpServer m_otherApp;

    static OpenAIProPlusAuthManager keyring()
    {
        return OpenAIProPlusAuthManager(KeychainStore(QStringLiteral("com.wrenlark"),
                                                      std::make_shared<LibsecretSecretStore>()));
    }

    static QProcess *start(const QStringList &arguments)
    {
        auto *process = new QProcess;
        process->setProgram(qEnvironmentVariable("WRENLARK_BINARY"));
        process->setArguments(arguments);
        process->start();
        return process;
    }

    // Waits with the event loop running, so the local authority can answer.
    static Run finish(QProcess *process)
    {
        const std::unique_ptr<QProcess> owner(process);
        TestHttpServer::waitUntil([&] { return process->state() == QProcess::NotRunning; }, 30000);
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished();
        }
        return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
                QString::fromUtf8(process->readAllStandardOutput()),
                QString::fromUtf8(process->readAllStandardError())};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = SecretServiceTestEnvironment::unavailableReason())
            QSKIP(qPrintable(*reason));
        writeConfiguration(m_authority);
        writeModelCatalog(m_authority.url(QStringLiteral("/responses")));
        m_fakeAuthority = std::make_unique<FakeAuthority>(m_authority);
        const QString analytics = QDir(qEnvironmentVariable("XDG_CONFIG_HOME"))
                                      .filePath(QStringLiteral("Wrenlark/analytics.json"));
        QFile file(analytics);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            QJsonDocument(QJsonObject{{"endpoint", m_authority.url("/analytics").toString()}})
                .toJson());
        file.close();
        m_authority.setDefault("POST", "/analytics", Response::json(200, {}));
        // The command opens pages through xdg-open; this browser opens nothing.
        qputenv("BROWSER", "true");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
    }

    void cleanupTestCase() { keyring().disconnect(); }

    void signInWithTheCallbackPortTakenUsesADeviceCode()
    {
        // Another program on the callback port (when one already holds it the
        // command falls back all the same).
        m_otherApp.listen(QHostAddress::LocalHost, OpenAIProPlusAuthProtocol::callbackPort);
        m_authority.enqueue("POST", "/api/accounts/deviceauth/usercode",
                            Response::json(200, {{"device_auth_id", "dev-cli"},
                                                 {"user_code", "WXYZ-0001"},
                                                 {"interval", "5"}}));
        m_authority.enqueue("POST", "/api/accounts/deviceauth/token",
                            Response::json(200, {{"authorization_code", "cli-code"},
                                                 {"code_verifier", "cli-verifier"}}));
        m_authority.enqueue(
            "POST", "/oauth/token",
            Response::json(200,
                           tokenReply(QStringLiteral("cli-access"), QStringLiteral("cli-refresh"),
                                      {{"id_token", jwt({{"email", "cli@example.com"}})}})));

        const Run run = finish(start({QStringLiteral("signin")}));
        m_otherApp.close();
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.error.contains(QStringLiteral(
                     "Port 1455 is in use by another app. Falling back to device login\u2026\n")),
                 qPrintable(run.error));
        QVERIFY(run.error.contains(QStringLiteral("OpenAI device login code: WXYZ-0001\n")));
        QVERIFY(run.error.contains(QStringLiteral("Opening in your browser: ") +
                                   m_authority.url("/codex/device").toString()));
        QCOMPARE(run.output, QStringLiteral("Signed in to OpenAI Pro/Plus: cli@example.com\n"));
        QCOMPARE(keyring().storedSession()->refreshToken, QStringLiteral("cli-refresh"));
    }

    void askRefreshesADueSessionFirst()
    {
        auto session = keyring().storedSession();
        QVERIFY(session);
        session->expiresAt = double(QDateTime::currentSecsSinceEpoch()) + 5;
        keyring().save(*session);
        m_authority.enqueue("POST", "/oauth/token",
                            Response::json(200, tokenReply(QStringLiteral("cli-access-2"),
                                                           QStringLiteral("ignored"))));
        m_authority.enqueue("POST", "/responses",
                            Response::eventStream({TestHttpServer::sseData(QJsonObject{
                                {"type", "response.output_text.delta"}, {"delta", "Done."}})}));
        QProcess *process = start({QStringLiteral("ask"), QStringLiteral("--provider"),
                                   QStringLiteral("openai-pro-plus"), QStringLiteral("say done")});
        process->closeWriteChannel();
        const Run run = finish(process);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.output, QStringLiteral("Done.\n"));
        const auto responses = m_authority.requestsTo("/responses");
        QCOMPARE(responses.size(), 1);
        QCOMPARE(responses.first().header("Authorization"), "Bearer cli-access-2");
        QCOMPARE(keyring().storedSession()->refreshToken, QStringLiteral("cli-refresh"));
    }

    void signOutDeletesTheSessionAndReportsIt()
    {
        const qsizetype before = m_authority.requestsTo("/analytics").size();
        const Run run = finish(start({QStringLiteral("signout")}));
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.output, QStringLiteral("Signed out of OpenAI Pro/Plus.\n"));
        QCOMPARE(keyring().storedSession(), std::nullopt);
        QVERIFY(TestHttpServer::waitUntil(
            [&] { return m_authority.requestsTo("/analytics").size() > before; }, 5000));
        const QByteArray body = m_authority.requestsTo("/analytics").last().body;
        QVERIFY2(body.contains("Provider.disconnected") && body.contains("\"cli\""),
                 body.constData());
    }

    void interruptCancelsTheSignIn()
    {
        m_authority.setDefault(
            "POST", "/api/accounts/deviceauth/usercode",
            Response::json(200, {{"device_auth_id", "d"}, {"user_code", "U"}, {"interval", "5"}}));
        m_authority.setDefault("POST", "/api/accounts/deviceauth/token", Response::json(403, {}));
        QProcess *process = start({QStringLiteral("signin")});
        QByteArray error;
        // Waiting for the browser (or, with the port taken, for the device code).
        QVERIFY(TestHttpServer::waitUntil(
            [&] {
                error += process->readAllStandardError();
                return error.contains("Opening in your browser");
            },
            15000));
        ::kill(pid_t(process->processId()), SIGINT);
        const Run run = finish(process);
        QCOMPARE(run.exitCode, 130);
        QVERIFY(run.error.contains(QStringLiteral("Sign-in canceled.")));
        QCOMPARE(keyring().storedSession(), std::nullopt);
    }

    // The authority's error text comes back in the redirect's query, which
    // any page can forge: it reaches the terminal without its control
    // characters.
    void callbackErrorTextReachesTheTerminalInert()
    {
        QProcess *process = start({QStringLiteral("signin")});
        QByteArray error;
        QVERIFY(TestHttpServer::waitUntil(
            [&] {
                error += process->readAllStandardError();
                return error.contains("/oauth/authorize?") && error.contains('\n');
            },
            15000));
        const qsizetype start = error.indexOf("http://127.0.0.1");
        const QUrl authorize(
            QString::fromUtf8(error.mid(start, error.indexOf('\n', start) - start)));
        const QString state = QUrlQuery(authorize).queryItemValue(QStringLiteral("state"));
        QVERIFY(!state.isEmpty());
        QTcpSocket browser;
        browser.connectToHost(QHostAddress::LocalHost, OpenAIProPlusAuthProtocol::callbackPort);
        QVERIFY(browser.waitForConnected(5000));
        browser.write("GET /auth/callback?state=" + QUrl::toPercentEncoding(state) +
                      "&error=server_error&error_description=%1B%5D0%3Bpwned%07%1B%5B2JGone "
                      "HTTP/1.1\r\nHost: localhost\r\n\r\n");
        QVERIFY(browser.waitForBytesWritten(5000));
        const Run run = finish(process);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.error.contains(QStringLiteral("]0;pwned[2JGone")), qPrintable(run.error));
        QVERIFY(!run.error.contains(u'\x1b'));
        QVERIFY(!run.error.contains(u'\x07'));
    }

    void argumentsAreRefused()
    {
        QCOMPARE(finish(start({QStringLiteral("signin"), QStringLiteral("now")})).exitCode, 2);
        QCOMPARE(finish(start({QStringLiteral("signout"), QStringLiteral("all")})).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestSignInCommand)
#include "test_signincommand.moc"
