#include "AuthTestSupport.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "platform/linux/DesktopUrlOpener.h"
#include "support/SecretServiceTestEnvironment.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace AuthTestSupport;

// The whole browser sign-in with real parts: a headless Chromium as the
// desktop's default browser (through $BROWSER and xdg-open), the loopback
// listener, and the session stored in the Secret Service of the private test
// desktop (tests/support/desktop-session).
class TestBrowserSignIn : public QObject
{
    Q_OBJECT

    TestHttpServer m_authority;
    std::unique_ptr<FakeAuthority> m_fakeAuthority;
    QTemporaryDir m_browserDir;
    const QString m_service = QStringLiteral("com.wrenlark.test-browsersignin");

    qint64 browserPid() const
    {
        return TestSandbox::readFile(m_browserDir.filePath("pid")).trimmed().toLongLong();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = SecretServiceTestEnvironment::unavailableReason())
            QSKIP(qPrintable(*reason));
        if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
            QSKIP("chromium and xdg-open are needed (scripts/setup --tests installs them)");
        QVERIFY(m_browserDir.isValid());

        writeConfiguration(m_authority);
        m_fakeAuthority = std::make_unique<FakeAuthority>(m_authority);
        // The desktop's default browser, as xdg-open finds it outside a full
        // desktop environment (no display: no scheme handler lookup).
        qputenv("BROWSER", HEADLESS_BROWSER);
        qputenv("WRENLARK_TEST_BROWSER_DIR", QFile::encodeName(m_browserDir.path()));
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        qunsetenv("XDG_CURRENT_DESKTOP");
    }

    void cleanupTestCase()
    {
        if (const qint64 pid = browserPid(); pid > 0)
            ::kill(pid_t(pid), SIGTERM); // ours; normally gone already
        KeychainStore(m_service, std::make_shared<LibsecretSecretStore>())
            .deleteItem(QStringLiteral("openai_pro_plus_oauth_session"));
    }

    void signInThroughChromiumStoresTheSessionInTheKeyring()
    {
        m_authority.enqueue(
            "POST", "/oauth/token",
            TestHttpServer::Response::json(
                200, tokenReply(QStringLiteral("access-e2e"), QStringLiteral("refresh-e2e"),
                                {{"id_token", jwt({{"email", "e2e@example.com"}})},
                                 {"expires_in", 3600}})));
        OpenAIProPlusAuthOptions options;
        options.callbackPort = 0;
        OpenAIProPlusAuthManager manager(
            KeychainStore(m_service, std::make_shared<LibsecretSecretStore>()), options);

        DesktopUrlOpener browser;
        auto *reply = manager.authorizeInteractive(browser);
        QVERIFY2(waitForReply(reply, 60000),
                 TestSandbox::readFile(m_browserDir.filePath("chromium.log")).constData());
        QCOMPARE(reply->state(), OpenAIProPlusAuthReply::State::succeeded);

        // The browser got the success page from the listener.
        QTRY_VERIFY_WITH_TIMEOUT(TestSandbox::readFile(m_browserDir.filePath("dom.html"))
                                     .contains("Authorization Successful"),
                                 20000);
        QCOMPARE(m_authority.requestsTo("/oauth/authorize").size(), 1);

        // Read back through a separate connection to the Secret Service.
        const OpenAIProPlusAuthManager reader(
            KeychainStore(m_service, std::make_shared<LibsecretSecretStore>()));
        const auto stored = reader.storedSession();
        QVERIFY(stored);
        QCOMPARE(stored->accessToken, QStringLiteral("access-e2e"));
        QCOMPARE(stored->refreshToken, QStringLiteral("refresh-e2e"));
        QCOMPARE(reader.connectionSummary(), QStringLiteral("e2e@example.com"));
    }
};

QTEST_GUILESS_MAIN(TestBrowserSignIn)
#include "test_browsersignin.moc"
