#include "core/desktop/XdgAutostartLoginItem.h"
#include "core/settings/LaunchAtLoginManager.h"
#include "core/settings/SettingsStore.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The real autostart entry, with a record of which operations were asked of it.
class RecordingLoginItem : public LoginItemService
{
public:
    explicit RecordingLoginItem(const QString &executablePath)
        : m_real(executablePath)
    {
    }

    Status status() override { return m_real.status(); }
    bool registerItem(QString *errorDescription) override
    {
        calls << QStringLiteral("register");
        return m_real.registerItem(errorDescription);
    }
    bool unregisterItem(QString *errorDescription) override
    {
        calls << QStringLiteral("unregister");
        return m_real.unregisterItem(errorDescription);
    }

    QStringList calls;

private:
    XdgAutostartLoginItem m_real;
};

} // namespace

class TestLaunchAtLoginManager : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_binaries;
    QString m_executable;

    static QString entryPath() { return XdgAutostartLoginItem::entryFilePath(); }

    static void writeEntry(const QByteArray &contents)
    {
        QDir().mkpath(QFileInfo(entryPath()).absolutePath());
        QFile file(entryPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

private Q_SLOTS:
    void initTestCase()
    {
        KeychainStore::setDefaultBackend(std::make_shared<FakeSecretStore>());
        m_executable = m_binaries.filePath(QStringLiteral("wrenlark"));
        QFile file(m_executable);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
    }

    void init()
    {
        QFile::remove(UserDefaults::standardFilePath());
        QFile::remove(entryPath());
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).rmdir(QStringLiteral("autostart"));
    }

    void defaultSettingsRegisterOnceThenFindItEnabled()
    {
        SettingsStore settings;
        QVERIFY(settings.launchAtLoginEnabled()); // the registered default
        RecordingLoginItem loginItems(m_executable);

        LaunchAtLoginManager::applyStoredChoice(settings, loginItems);
        QCOMPARE(loginItems.calls, QStringList{QStringLiteral("register")});
        QCOMPARE(loginItems.status(), LoginItemService::Status::enabled);
        QVERIFY(
            !settings.defaults().contains(SettingsStore::launchAtLoginEnabledKey)); // not persisted

        RecordingLoginItem nextLaunch(m_executable);
        LaunchAtLoginManager::applyStoredChoice(settings, nextLaunch);
        QVERIFY(nextLaunch.calls.isEmpty());
    }

    void turningOffRemovesTheEntryAndRemembersIt()
    {
        SettingsStore settings;
        RecordingLoginItem loginItems(m_executable);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(true, settings, true, loginItems);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, true, loginItems);
        QCOMPARE(loginItems.calls,
                 (QStringList{QStringLiteral("register"), QStringLiteral("unregister")}));
        QVERIFY(!QFile::exists(entryPath()));
        QVERIFY(!SettingsStore().launchAtLoginEnabled());

        // Off and not registered: nothing to do. Later launches keep it off.
        LaunchAtLoginManager::applyStoredChoice(settings, loginItems);
        QCOMPARE(loginItems.calls.size(), 2);
        QVERIFY(!QFile::exists(entryPath()));
    }

    void turningOffWhileAwaitingApprovalUnregisters()
    {
        SettingsStore settings;
        writeEntry(XdgAutostartLoginItem::entryContents(m_executable) + "Hidden=true\n");
        RecordingLoginItem loginItems(m_executable);
        QCOMPARE(loginItems.status(), LoginItemService::Status::requiresApproval);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, true, loginItems);
        QCOMPARE(loginItems.calls, QStringList{QStringLiteral("unregister")});
        QVERIFY(!QFile::exists(entryPath()));
    }

    void offWithoutOurExecutableLeavesEverythingAlone()
    {
        SettingsStore settings;
        writeEntry(XdgAutostartLoginItem::entryContents(m_executable));
        RecordingLoginItem missing(m_binaries.filePath(QStringLiteral("moved-away")));
        QCOMPARE(missing.status(), LoginItemService::Status::notFound);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, true, missing);
        QVERIFY(missing.calls.isEmpty());
    }

    void failingRegistrationIsLoggedAndKeepsTheChoice()
    {
        SettingsStore settings;
        settings.setLaunchAtLoginEnabled(false);
        // A file where the autostart folder should be.
        QFile blocker(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        RecordingLoginItem loginItems(m_executable);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(true, settings, true, loginItems);
        QVERIFY(SettingsStore().launchAtLoginEnabled());
        QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral(
            "[ERROR] Failed to update launch at login state to true. (Cannot create the folder ")));

        // Without persisting, the stored choice is not touched either way.
        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, false, loginItems);
        QVERIFY(SettingsStore().launchAtLoginEnabled());
        QVERIFY(blocker.remove());
    }

    void runningExecutableIsWhatTheEntryStarts()
    {
        SettingsStore settings;
        LaunchAtLoginManager::setLaunchAtLoginEnabled(true, settings, false);
        const auto entry = XdgAutostartLoginItem::readEntry(TestSandbox::readFile(entryPath()));
        QCOMPARE(XdgAutostartLoginItem::programOfExec(entry.value(QStringLiteral("Exec"))),
                 QCoreApplication::applicationFilePath());
    }
};

QTEST_GUILESS_MAIN(TestLaunchAtLoginManager)
#include "test_launchatloginmanager.moc"
