// The rules behind reading and replacing selections on Linux that need no
// desktop: which hosts are browser-like, which keys copy and paste in a
// terminal, and text offsets in the units of each toolkit.
#include "platform/linux/applications/ClipboardKeys.h"
#include "platform/linux/applications/LinuxTargetAppClassifier.h"
#include "platform/linux/selection/TextUnits.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class LinuxSelectionRulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browsersAndWebAppsAreBrowserLike();
    void electronAndEmbeddedChromiumFoldersAreBrowserLike();
    void thisProcessAndMissingProcessesAreNotBrowserLike();
    void terminalsNeverGetCtrlC_data();
    void terminalsNeverGetCtrlC();
    void offsetsFollowTheToolkitsUnits();
};

void LinuxSelectionRulesTest::browsersAndWebAppsAreBrowserLike()
{
    QVERIFY(LinuxTargetAppClassifier::isBrowserName(QStringLiteral("firefox-esr")));
    QVERIFY(LinuxTargetAppClassifier::isBrowserName(QStringLiteral("org.mozilla.firefox")));
    QVERIFY(LinuxTargetAppClassifier::isBrowserName(QStringLiteral("google-chrome-stable")));
    QVERIFY(!LinuxTargetAppClassifier::isBrowserName(QStringLiteral("mousepad")));

    QVERIFY(LinuxTargetAppClassifier::isChromiumFamilyName(QStringLiteral("chromium")));
    QVERIFY(LinuxTargetAppClassifier::isWebAppCommandLine(
        {QStringLiteral("/opt/google/chrome/chrome"), QStringLiteral("--profile-directory=Default"),
         QStringLiteral("--app-id=abcdefghijklmnop")}));
    QVERIFY(LinuxTargetAppClassifier::isWebAppCommandLine(
        {QStringLiteral("chromium"), QStringLiteral("--app=https://example.com")}));
    QVERIFY(!LinuxTargetAppClassifier::isWebAppCommandLine(
        {QStringLiteral("chromium"), QStringLiteral("https://example.com/--app=x")}));
}

void LinuxSelectionRulesTest::electronAndEmbeddedChromiumFoldersAreBrowserLike()
{
    QTemporaryDir electron;
    QVERIFY(QDir(electron.path()).mkpath(QStringLiteral("resources")));
    QFile(electron.filePath(QStringLiteral("resources/app.asar"))).open(QIODevice::WriteOnly);
    QVERIFY(LinuxTargetAppClassifier::isEmbeddedChromiumFolder(electron.path()));

    QTemporaryDir chromiumRuntime;
    QFile(chromiumRuntime.filePath(QStringLiteral("libffmpeg.so"))).open(QIODevice::WriteOnly);
    QVERIFY(!LinuxTargetAppClassifier::isEmbeddedChromiumFolder(chromiumRuntime.path()));
    QFile(chromiumRuntime.filePath(QStringLiteral("resources.pak"))).open(QIODevice::WriteOnly);
    QVERIFY(LinuxTargetAppClassifier::isEmbeddedChromiumFolder(chromiumRuntime.path()));

    QTemporaryDir cef;
    QFile(cef.filePath(QStringLiteral("libcef.so"))).open(QIODevice::WriteOnly);
    QVERIFY(LinuxTargetAppClassifier::isEmbeddedChromiumFolder(cef.path()));

    QTemporaryDir plain;
    QVERIFY(!LinuxTargetAppClassifier::isEmbeddedChromiumFolder(plain.path()));
}

void LinuxSelectionRulesTest::thisProcessAndMissingProcessesAreNotBrowserLike()
{
    const LinuxTargetAppClassifier classifier;
    QVERIFY(!classifier.isBrowserLikeHostProcess(0));
    QVERIFY(!classifier.isBrowserLikeHostProcess(qint32(QCoreApplication::applicationPid())));
    QVERIFY(!classifier.isBrowserLikeHostProcess(0x7ffffff0));
}

void LinuxSelectionRulesTest::terminalsNeverGetCtrlC_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("copy");
    QTest::addColumn<QString>("paste");
    QTest::newRow("editor") << QStringList{QStringLiteral("mousepad"), QStringLiteral("Mousepad")}
                            << int(ClipboardKeys::Kind::ordinary) << QStringLiteral("Ctrl+C")
                            << QStringLiteral("Ctrl+V");
    QTest::newRow("GNOME Terminal by its server process")
        << QStringList{QStringLiteral("gnome-terminal-server")}
        << int(ClipboardKeys::Kind::terminal) << QStringLiteral("Ctrl+Shift+C")
        << QStringLiteral("Ctrl+Shift+V");
    QTest::newRow("kitty by window class")
        << QStringList{QStringLiteral("python3"), QStringLiteral("kitty")}
        << int(ClipboardKeys::Kind::terminal) << QStringLiteral("Ctrl+Shift+C")
        << QStringLiteral("Ctrl+Shift+V");
    QTest::newRow("xterm") << QStringList{QStringLiteral("XTerm")}
                           << int(ClipboardKeys::Kind::primaryTerminal) << QString()
                           << QStringLiteral("Shift+Insert");
    QTest::newRow("urxvt") << QStringList{QStringLiteral("urxvt")}
                           << int(ClipboardKeys::Kind::primaryTerminal) << QString()
                           << QStringLiteral("Shift+Insert");
}

void LinuxSelectionRulesTest::terminalsNeverGetCtrlC()
{
    QFETCH(QStringList, names);
    QFETCH(int, kind);
    QFETCH(QString, copy);
    QFETCH(QString, paste);
    const ClipboardKeys keys = ClipboardKeys::forNames(names);
    QCOMPARE(int(keys.kind), kind);
    QCOMPARE(keys.copy ? keys.copy->toString() : QString(), copy);
    QCOMPARE(keys.paste.toString(), paste);
    QCOMPARE(keys.pasteReadsPrimary, kind == int(ClipboardKeys::Kind::primaryTerminal));
}

void LinuxSelectionRulesTest::offsetsFollowTheToolkitsUnits()
{
    const QString text = QStringLiteral("a👋é東");
    QCOMPARE(TextUnits::length(text, TextUnit::codePoints), 4);
    QCOMPARE(TextUnits::length(text, TextUnit::utf16), 5);
    QCOMPARE(TextUnits::slice(text, 1, 2, TextUnit::codePoints), QStringLiteral("👋é"));
    QCOMPARE(TextUnits::slice(text, 1, 2, TextUnit::utf16), QStringLiteral("👋"));
    QCOMPARE(TextUnits::slice(text, 3, 1, TextUnit::codePoints), QStringLiteral("東"));
    QVERIFY(TextUnits::slice(text, 3, 2, TextUnit::codePoints).isNull());
    QCOMPARE(TextUnits::insertionLength(text, TextUnit::utf16), 5);
    QCOMPARE(TextUnits::insertionLength(text, TextUnit::codePoints), 1 + 4 + 2 + 3);
}

QTEST_GUILESS_MAIN(LinuxSelectionRulesTest)
#include "test_linux_selection_rules.moc"
