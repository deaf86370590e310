#include "core/settings/LaunchAtLoginManager.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "platform/linux/autostart/XdgAutostartLoginItem.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using Status = LoginItemService::Status;

namespace {

// The real autostart entry, recording which operations were asked of it.
class RecordingLoginItem : public LoginItemService
{
public:
    explicit RecordingLoginItem(const QString &executablePath)
        : m_real(executablePath)
    {
    }
    Status status() override { return m_real.status(); }
    bool registerItem(QString *error) override
    {
        calls << QStringLiteral("register");
        return m_real.registerItem(error);
    }
    bool unregisterItem(QString *error) override
    {
        calls << QStringLiteral("unregister");
        return m_real.unregisterItem(error);
    }
    QStringList calls;

private:
    XdgAutostartLoginItem m_real;
};

QString entryPath()
{
    return XdgAutostartLoginItem::entryFilePath();
}

QString entryValue(const QString &key)
{
    return XdgAutostartLoginItem::readEntry(TestSandbox::readFile(entryPath())).value(key);
}

void writeEntry(const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(entryPath()).absolutePath());
    QFile file(entryPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

} // namespace

class TestLaunchAtLogin : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_binaries;

    QString makeExecutable(const QString &name)
    {
        const QString path = m_binaries.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }

    const std::shared_ptr<SecretStore> m_keys = std::make_shared<FakeSecretStore>();

private Q_SLOTS:
    void init()
    {
        QFile::remove(UserDefaults::standardFilePath());
        const QString folder = QFileInfo(entryPath()).absolutePath();
        QFile::remove(entryPath());
        QDir().rmdir(folder);
        QFile::remove(folder); // or the file a test put in its place
    }

    void defaultChoiceRegistersOnceThenFindsItEnabled()
    {
        SettingsStore settings(m_keys);
        RecordingLoginItem loginItems(makeExecutable(QStringLiteral("bin/wrenlark")));
        QCOMPARE(loginItems.status(), Status::notRegistered);
        LaunchAtLoginManager::applyStoredChoice(settings, loginItems);
        LaunchAtLoginManager::applyStoredChoice(settings, loginItems); // the next launch
        QCOMPARE(loginItems.calls, QStringList{QStringLiteral("register")});
        QCOMPARE(loginItems.status(), Status::enabled);
        QVERIFY(!settings.defaults().contains(SettingsKeys::launchAtLoginEnabled.name));
        QCOMPARE(entryValue(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(entryValue(QStringLiteral("X-GNOME-Autostart-enabled")), QStringLiteral("true"));

        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, true, loginItems);
        QVERIFY(!QFile::exists(entryPath()));
        QVERIFY(!SettingsStore(m_keys).launchAtLoginEnabled());
        LaunchAtLoginManager::applyStoredChoice(settings,
                                                loginItems); // off and absent: nothing to do
        QCOMPARE(loginItems.calls.size(), 2);
    }

    void entryStartsTheRunningExecutable()
    {
        SettingsStore settings(m_keys);
        XdgAutostartLoginItem loginItems;
        LaunchAtLoginManager::setLaunchAtLoginEnabled(true, settings, false, loginItems);
        const QString exec = entryValue(QStringLiteral("Exec"));
        QCOMPARE(XdgAutostartLoginItem::programOfExec(exec),
                 QCoreApplication::applicationFilePath());
        // Started at login, the application shows no window.
        QVERIFY(exec.endsWith(u' ' + LoginItemService::startedAtLoginArgument));
    }

    void desktopDisabledEntryIsLeftAloneUntilTurnedOff_data()
    {
        QTest::addColumn<QByteArray>("switchLine");
        QTest::newRow("Hidden") << QByteArray("Hidden=true\n");
        QTest::newRow("GNOME") << QByteArray("X-GNOME-Autostart-enabled = False\n");
    }

    void desktopDisabledEntryIsLeftAloneUntilTurnedOff()
    {
        QFETCH(QByteArray, switchLine);
        SettingsStore settings(m_keys);
        const QString executable = makeExecutable(QStringLiteral("wrenlark"));
        RecordingLoginItem loginItems(executable);
        const QByteArray disabled = XdgAutostartLoginItem::entryContents(executable)
                                        .replace("X-GNOME-Autostart-enabled=true\n", "") +
                                    switchLine;
        writeEntry(disabled);
        QCOMPARE(loginItems.status(), Status::requiresApproval);
        LaunchAtLoginManager::applyStoredChoice(settings, loginItems);
        QCOMPARE(TestSandbox::readFile(entryPath()), disabled);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, true, loginItems);
        QCOMPARE(loginItems.calls,
                 (QStringList{QStringLiteral("register"), QStringLiteral("unregister")}));
        QCOMPARE(loginItems.status(), Status::notRegistered);
    }

    void entryOfACopyElsewhereIsReplaced()
    {
        XdgAutostartLoginItem oldCopy(makeExecutable(QStringLiteral("old/wrenlark")));
        XdgAutostartLoginItem current(makeExecutable(QStringLiteral("new/wrenlark")));
        QString error;
        QVERIFY(oldCopy.registerItem(&error));
        QCOMPARE(current.status(), Status::requiresApproval);
        QVERIFY(current.registerItem(&error));
        QCOMPARE(current.status(), Status::enabled);
    }

    void missingExecutableIsNotFound()
    {
        SettingsStore settings(m_keys);
        writeEntry(XdgAutostartLoginItem::entryContents(QStringLiteral("/opt/wrenlark")));
        RecordingLoginItem missing(m_binaries.filePath(QStringLiteral("moved-away")));
        QCOMPARE(missing.status(), Status::notFound);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(false, settings, true, missing);
        QVERIFY(missing.calls.isEmpty());
        QString error;
        QVERIFY(!missing.registerItem(&error));
        QVERIFY(error.contains(QStringLiteral("moved-away")));
    }

    void failureIsLoggedAndKeepsTheStoredChoice()
    {
        SettingsStore settings(m_keys);
        QFile blocker(QFileInfo(entryPath()).absolutePath()); // a file where the folder goes
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        RecordingLoginItem loginItems(makeExecutable(QStringLiteral("wrenlark")));
        LaunchAtLoginManager::setLaunchAtLoginEnabled(true, settings, true, loginItems);
        QVERIFY(settings.launchAtLoginEnabled());
        QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral(
            "[ERROR] Failed to update launch at login state to true. (Cannot create the folder ")));
        settings.setLaunchAtLoginEnabled(false);
        LaunchAtLoginManager::setLaunchAtLoginEnabled(true, settings, false, loginItems);
        QVERIFY(!settings.launchAtLoginEnabled()); // not persisted: untouched
    }

    void awkwardPathsAreQuotedAndReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("execEnd");
        QTest::newRow("plain") << QStringLiteral("wrenlark") << QStringLiteral("/wrenlark");
        QTest::newRow("space") << QStringLiteral("My Apps/wrenlark")
                               << QStringLiteral("/My Apps/wrenlark\"");
        // Quoting escapes $ and \, then string escaping doubles every backslash.
        QTest::newRow("$ % \\") << QStringLiteral("a$b%c\\d/wrenlark")
                                << QStringLiteral("/a\\\\$b%%c\\\\\\\\d/wrenlark\"");
        QTest::newRow("quotes") << QStringLiteral("it's \"x\" `y`/wrenlark")
                                << QStringLiteral("/it's \\\\\"x\\\\\" \\\\`y\\\\`/wrenlark\"");
    }

    void awkwardPathsAreQuotedAndReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QString, execEnd);
        XdgAutostartLoginItem item(makeExecutable(name));
        QString error;
        QVERIFY2(item.registerItem(&error), qPrintable(error));
        const QString exec = entryValue(QStringLiteral("Exec"));
        const QString argument = u' ' + LoginItemService::startedAtLoginArgument;
        QVERIFY2(exec.endsWith(execEnd + argument), qPrintable(exec));
        QCOMPARE(XdgAutostartLoginItem::programOfExec(exec), item.executablePath());
        QCOMPARE(item.status(), Status::enabled);
        QCOMPARE(XdgAutostartLoginItem::programOfExec(QStringLiteral("\"/opt/a\"b")), std::nullopt);
        QCOMPARE(XdgAutostartLoginItem::programOfExec(QStringLiteral("/usr/bin/w %U")),
                 QStringLiteral("/usr/bin/w"));
    }
};

QTEST_GUILESS_MAIN(TestLaunchAtLogin)
#include "test_launchatlogin.moc"
