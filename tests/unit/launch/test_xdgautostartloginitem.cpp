#include "core/desktop/XdgAutostartLoginItem.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using Status = LoginItemService::Status;

class TestXdgAutostartLoginItem : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_binaries;

    // An executable file at `name` inside a private folder.
    QString makeExecutable(const QString &name)
    {
        const QString path = m_binaries.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\n");
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }

    static void writeEntry(const QByteArray &contents)
    {
        QDir().mkpath(QFileInfo(XdgAutostartLoginItem::entryFilePath()).absolutePath());
        QFile file(XdgAutostartLoginItem::entryFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    static QHash<QString, QString> storedEntry()
    {
        return XdgAutostartLoginItem::readEntry(
            TestSandbox::readFile(XdgAutostartLoginItem::entryFilePath()));
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(XdgAutostartLoginItem::entryFilePath());
        QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).rmdir(QStringLiteral("autostart"));
        QFile::remove(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart"));
    }

    void entryLivesInTheSandboxAutostartFolder()
    {
        QCOMPARE(XdgAutostartLoginItem::entryFilePath(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") +
                     QStringLiteral("/autostart/wrenlark.desktop"));
        QVERIFY(XdgAutostartLoginItem::entryFilePath().startsWith(
            qEnvironmentVariable("WRENLARK_TEST_SANDBOX")));
    }

    void registerWritesAnEnabledEntryThatStartsUs()
    {
        XdgAutostartLoginItem item(makeExecutable(QStringLiteral("bin/wrenlark")));
        QCOMPARE(item.status(), Status::notRegistered);

        QString error;
        QVERIFY(item.registerItem(&error));
        QCOMPARE(item.status(), Status::enabled);

        const QHash<QString, QString> entry = storedEntry();
        QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Wrenlark"));
        QCOMPARE(entry.value(QStringLiteral("Exec")), item.executablePath());
        QCOMPARE(entry.value(QStringLiteral("X-GNOME-Autostart-enabled")), QStringLiteral("true"));
        QVERIFY(!entry.contains(QStringLiteral("Hidden")));

        QVERIFY(item.unregisterItem(&error));
        QVERIFY(!QFile::exists(XdgAutostartLoginItem::entryFilePath()));
        QCOMPARE(item.status(), Status::notRegistered);
        QVERIFY(item.unregisterItem(&error)); // nothing to remove is no failure
    }

    void defaultExecutableIsTheRunningProgram()
    {
        XdgAutostartLoginItem item;
        QCOMPARE(item.executablePath(), QCoreApplication::applicationFilePath());
    }

    void missingExecutableIsNotFoundAndCannotRegister()
    {
        XdgAutostartLoginItem item(m_binaries.filePath(QStringLiteral("gone/wrenlark")));
        QCOMPARE(item.status(), Status::notFound);
        QString error;
        QVERIFY(!item.registerItem(&error));
        QVERIFY(error.contains(QStringLiteral("gone/wrenlark")));
        QVERIFY(!QFile::exists(XdgAutostartLoginItem::entryFilePath()));
    }

    void entriesTheDesktopDisabledRequireApproval_data()
    {
        QTest::addColumn<QByteArray>("extraLine");
        QTest::newRow("Hidden") << QByteArray("Hidden=true\n");
        QTest::newRow("GNOME switch") << QByteArray("X-GNOME-Autostart-enabled=false\n");
        QTest::newRow("GNOME switch, spaced and capitalised")
            << QByteArray("X-GNOME-Autostart-enabled = False\n");
    }

    void entriesTheDesktopDisabledRequireApproval()
    {
        QFETCH(QByteArray, extraLine);
        XdgAutostartLoginItem item(makeExecutable(QStringLiteral("wrenlark")));
        const QByteArray disabled = XdgAutostartLoginItem::entryContents(item.executablePath())
                                        .replace("X-GNOME-Autostart-enabled=true\n", "") +
                                    extraLine;
        writeEntry(disabled);
        QCOMPARE(item.status(), Status::requiresApproval);

        // The desktop's switch is the user's: registering again leaves it.
        QString error;
        QVERIFY(item.registerItem(&error));
        QCOMPARE(TestSandbox::readFile(XdgAutostartLoginItem::entryFilePath()), disabled);
        QCOMPARE(item.status(), Status::requiresApproval);

        QVERIFY(item.unregisterItem(&error));
        QCOMPARE(item.status(), Status::notRegistered);
    }

    void keysOutsideTheEntryGroupDoNotCount()
    {
        XdgAutostartLoginItem item(makeExecutable(QStringLiteral("wrenlark")));
        writeEntry(XdgAutostartLoginItem::entryContents(item.executablePath()) +
                   "\n[Desktop Action quit]\nHidden=true\nExec=/usr/bin/false\n");
        QCOMPARE(item.status(), Status::enabled);
    }

    void entryOfAnotherCopyIsRewrittenByRegister()
    {
        XdgAutostartLoginItem oldCopy(makeExecutable(QStringLiteral("old/wrenlark")));
        XdgAutostartLoginItem item(makeExecutable(QStringLiteral("new/wrenlark")));
        QString error;
        QVERIFY(oldCopy.registerItem(&error));
        QCOMPARE(item.status(), Status::requiresApproval);
        QVERIFY(item.registerItem(&error));
        QCOMPARE(item.status(), Status::enabled);
        QCOMPARE(oldCopy.status(), Status::requiresApproval);
    }

    void awkwardPathsAreQuotedAndReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedExecSuffix");
        QTest::newRow("plain") << QStringLiteral("wrenlark") << QStringLiteral("/wrenlark");
        QTest::newRow("space") << QStringLiteral("My Apps/wrenlark")
                               << QStringLiteral("/My Apps/wrenlark\"");
        QTest::newRow("dollar, percent, backslash")
            << QStringLiteral("a$b%c\\d/wrenlark")
            << QStringLiteral("/a\\\\$b%%c\\\\\\\\d/wrenlark\"");
        QTest::newRow("quotes and backtick")
            << QStringLiteral("it's \"x\" `y`/wrenlark")
            << QStringLiteral("/it's \\\\\"x\\\\\" \\\\`y\\\\`/wrenlark\"");
        QTest::newRow("percent alone")
            << QStringLiteral("100%/wrenlark") << QStringLiteral("/100%%/wrenlark");
    }

    void awkwardPathsAreQuotedAndReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QString, expectedExecSuffix);
        XdgAutostartLoginItem item(makeExecutable(name));
        QVERIFY(!item.executablePath().isEmpty());
        QString error;
        QVERIFY2(item.registerItem(&error), qPrintable(error));

        const QString exec = storedEntry().value(QStringLiteral("Exec"));
        QVERIFY2(exec.endsWith(expectedExecSuffix), qPrintable(exec));
        QCOMPARE(exec.startsWith(u'"'), expectedExecSuffix.endsWith(u'"'));
        QCOMPARE(XdgAutostartLoginItem::programOfExec(exec), item.executablePath());
        QCOMPARE(item.status(), Status::enabled);
    }

    void execValuesWrittenByOthersAreParsed()
    {
        using Item = XdgAutostartLoginItem;
        QCOMPARE(Item::programOfExec(QStringLiteral("/usr/bin/wrenlark %U")),
                 QStringLiteral("/usr/bin/wrenlark"));
        QCOMPARE(Item::programOfExec(QStringLiteral("\"/opt/my app/wrenlark\" --hidden")),
                 QStringLiteral("/opt/my app/wrenlark"));
        // \s is a space before arguments are split, so it ends an unquoted one.
        QCOMPARE(Item::programOfExec(QStringLiteral("/opt/my\\sapp")), QStringLiteral("/opt/my"));
        QCOMPARE(Item::programOfExec(QStringLiteral("\"/opt/my\\sapp\"")),
                 QStringLiteral("/opt/my app"));
        QCOMPARE(Item::programOfExec(QStringLiteral("\"/opt/unterminated")), std::nullopt);
        QCOMPARE(Item::programOfExec(QStringLiteral("\"/opt/a\"b")), std::nullopt);
        QCOMPARE(Item::programOfExec(QString()), std::nullopt);
    }

    void unwritableAutostartFolderIsAFailureWithAReason()
    {
        QFile blocker(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        XdgAutostartLoginItem item(makeExecutable(QStringLiteral("wrenlark")));
        QString error;
        QVERIFY(!item.registerItem(&error));
        QVERIFY2(error.contains(QStringLiteral("autostart")), qPrintable(error));
        QCOMPARE(item.status(), Status::notRegistered);
        QVERIFY(blocker.remove());
    }
};

QTEST_GUILESS_MAIN(TestXdgAutostartLoginItem)
#include "test_xdgautostartloginitem.moc"
