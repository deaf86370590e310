// The keychain store when the Secret Service cannot answer: first a session
// bus with no Secret Service at all, then a gnome-keyring whose keyring is
// locked and whose unlock prompt nobody answers. Everything runs on a private
// D-Bus daemon of this test, set up before anything in this process talks to
// D-Bus.

#include "core/desktop/KeychainStore.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "support/TestSandbox.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVirtualObject>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr double shortTimeoutSeconds = 0.5;

// The daemons of this test end with it, even when it crashes.
void endWithThisProcess(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// Stands in for the desktop's prompter (gcr): takes every call and never answers,
// like an unlock dialog in front of nobody.
class SilentPrompter : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &, const QDBusConnection &) override { return true; }
};

} // namespace

class TestSecretServiceUnavailable : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QProcess m_bus;
    QProcess m_keyring;
    std::optional<QDBusConnection> m_connection;
    SilentPrompter m_prompter;

    QString path(const QString &name) const { return m_root.filePath(name); }

    QProcessEnvironment keyringEnvironment() const
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        return environment;
    }

    bool secretServiceOwned() const
    {
        return m_connection->interface()->isServiceRegistered(
            QStringLiteral("org.freedesktop.secrets"));
    }

    void startKeyring(const QStringList &arguments, const QByteArray &password)
    {
        endWithThisProcess(m_keyring);
        m_keyring.setProcessEnvironment(keyringEnvironment());
        m_keyring.start(
            QStringLiteral("gnome-keyring-daemon"),
            QStringList{QStringLiteral("--foreground"), QStringLiteral("--components=secrets")} +
                arguments);
        QVERIFY(m_keyring.waitForStarted());
        m_keyring.write(password);
        m_keyring.closeWriteChannel();
        QTRY_VERIFY_WITH_TIMEOUT(secretServiceOwned(), 10000);
    }

    void stopKeyring()
    {
        m_keyring.terminate();
        if (!m_keyring.waitForFinished(5000))
            m_keyring.kill();
        m_keyring.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!secretServiceOwned(), 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            QSKIP("dbus-daemon is not installed");
        QVERIFY(m_root.isValid());
        for (const char *folder : {"home", "data", "runtime"})
            QVERIFY(QDir(m_root.path()).mkpath(QString::fromLatin1(folder)));
        QFile::setPermissions(path(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        // A bus with no activatable services: nothing answers for the Secret Service.
        QFile config(path(QStringLiteral("bus.conf")));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("<busconfig>\n"
                                    "  <type>session</type>\n"
                                    "  <listen>unix:path=%1</listen>\n"
                                    "  <auth>EXTERNAL</auth>\n"
                                    "  <policy context=\"default\">\n"
                                    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                                    "    <allow eavesdrop=\"true\"/>\n"
                                    "    <allow own=\"*\"/>\n"
                                    "  </policy>\n"
                                    "</busconfig>\n")
                         .arg(path(QStringLiteral("bus")))
                         .toUtf8());
        config.close();
        endWithThisProcess(m_bus);
        m_bus.start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--config-file=") + config.fileName(),
                     QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                     QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY(m_bus.canReadLine());
        const QByteArray address = m_bus.readLine().trimmed();
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);

        m_connection = QDBusConnection::connectToBus(QString::fromUtf8(address),
                                                     QStringLiteral("private-test-bus"));
        QVERIFY(m_connection->isConnected());
    }

    void cleanupTestCase()
    {
        if (m_keyring.state() != QProcess::NotRunning) {
            m_keyring.kill();
            m_keyring.waitForFinished();
        }
        if (m_bus.state() != QProcess::NotRunning) {
            m_bus.terminate();
            m_bus.waitForFinished();
        }
    }

    void withoutSecretServiceReadsGiveNothingAndSavesLogErrors()
    {
        auto backend = std::make_shared<LibsecretSecretStore>(shortTimeoutSeconds);
        QVERIFY(!backend->isAvailable());
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);

        QCOMPARE(store.read(QStringLiteral("openai_api_key")), std::nullopt);
        store.save(QStringLiteral("openai_api_key"), QStringLiteral("sk-secret"));
        store.deleteItem(QStringLiteral("openai_api_key"));

        const QString log = TestSandbox::flushedLog();
        for (const char *operation : {"read", "update", "delete"}) {
            QVERIFY2(
                log.contains(QStringLiteral("[ERROR] Keychain %1 failed for service=com.wrenlark "
                                            "account=openai_api_key: ")
                                 .arg(QString::fromLatin1(operation))),
                qPrintable(log));
        }
        QVERIFY(log.contains(QStringLiteral("org.freedesktop.secrets")));
        QVERIFY(!log.contains(QStringLiteral("sk-secret")));
    }

    void lockedKeyringWhosePromptNobodyAnswersTimesOut()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty())
            QSKIP("gnome-keyring-daemon is not installed");
        auto backend = std::make_shared<LibsecretSecretStore>(shortTimeoutSeconds);
        KeychainStore store(QStringLiteral("com.wrenlark"), backend);

        // A login keyring with one item, made while it is unlocked...
        startKeyring({QStringLiteral("--unlock")}, "keyring password");
        store.save(QStringLiteral("anthropic_api_key"), QStringLiteral("sk-ant"));
        QCOMPARE(store.read(QStringLiteral("anthropic_api_key")), QStringLiteral("sk-ant"));
        stopKeyring();

        // ...and the same keyring after a restart: locked, with a prompter that never answers.
        QVERIFY(m_connection->registerVirtualObject(QStringLiteral("/org/gnome/keyring/Prompter"),
                                                    &m_prompter));
        QVERIFY(m_connection->registerService(QStringLiteral("org.gnome.keyring.SystemPrompter")));
        startKeyring({}, {});

        QCOMPARE(store.read(QStringLiteral("anthropic_api_key")), std::nullopt);
        // The prompt stays up for the user: the store stopped waiting, nothing dismissed it.
        QVERIFY(secretServiceOwned());
        store.save(QStringLiteral("anthropic_api_key"), QStringLiteral("sk-other"));

        const QString log = TestSandbox::flushedLog();
        const QString timedOut = QStringLiteral("No answer from the Secret Service within 0.5 s");
        QVERIFY2(
            log.contains(QStringLiteral("[ERROR] Keychain read failed for service=com.wrenlark "
                                        "account=anthropic_api_key: 24 (") +
                         timedOut),
            qPrintable(log));
        QVERIFY(
            log.contains(QStringLiteral("[ERROR] Keychain update failed for service=com.wrenlark "
                                        "account=anthropic_api_key: 24 (") +
                         timedOut));
        QVERIFY(!log.contains(QStringLiteral("sk-other")));
    }
};

QTEST_GUILESS_MAIN(TestSecretServiceUnavailable)
#include "test_secretservice_unavailable.moc"
