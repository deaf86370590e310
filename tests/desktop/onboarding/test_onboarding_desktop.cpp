// A fresh start of the real application shows setup; a user walks it with
// the keyboard alone, types a key and completes it; the key is in the
// keyring, the settings say setup is done, and the next start shows nothing.
// A screen reader user does the same through accessibility alone: actions,
// focus and states over AT-SPI, and typing.

#include "desktop/shell/ResidentApp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTest>

namespace {

bool underTestDesktop()
{
    return qEnvironmentVariable("WRENLARK_DESKTOP_SESSION") == QLatin1String("1") &&
           !qEnvironmentVariableIsEmpty("DISPLAY");
}

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return "<did not finish>";
    return process.readAllStandardOutput().trimmed();
}

// The visible windows of a process, as the window manager lists them.
QList<QByteArray> visibleWindows(qint64 pid)
{
    const QByteArray output =
        run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--pid"), QString::number(pid)});
    return output.isEmpty() ? QList<QByteArray>{} : output.split('\n');
}

QByteArray activeWindowName()
{
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("getactivewindow"), QStringLiteral("getwindowname")});
}

// Keys as a user types them, to whatever window has the focus.
void press(const QStringList &keys)
{
    for (const QString &key : keys) {
        run(QStringLiteral("xdotool"), {QStringLiteral("key"), key});
        QTest::qWait(150);
    }
}

void type(const QString &text)
{
    run(QStringLiteral("xdotool"),
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

QByteArray storedKey(const QString &account)
{
    return run(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("service"), QStringLiteral("com.wrenlark"),
                QStringLiteral("account"), account});
}

// What a screen reader does with the accessible named `name` of Wrenlark
// (tests/support/atspi-act); its output, or nothing when it failed.
QByteArray atspi(const QString &command, const QString &name = {})
{
    QStringList arguments{QStringLiteral("wrenlark"), command};
    if (!name.isEmpty())
        arguments << name;
    QProcess process;
    process.start(QStringLiteral(WRENLARK_ATSPI_ACT), arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput().trimmed();
}

// Performs an accessible's action ("do") or gives it the focus ("focus").
bool atspiDone(const QString &command, const QString &name)
{
    QProcess process;
    process.start(QStringLiteral(WRENLARK_ATSPI_ACT), {QStringLiteral("wrenlark"), command, name});
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

} // namespace

class TestOnboardingDesktop : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (!underTestDesktop())
            QSKIP("needs the private desktop: run under tests/support/desktop-session");
        if (qEnvironmentVariableIsEmpty("WRENLARK_BINARY"))
            QSKIP("WRENLARK_BINARY is not set");
    }

    void firstStartIsWalkedWithTheKeyboardAndNotShownAgain()
    {
        run(QStringLiteral("secret-tool"),
            {QStringLiteral("clear"), QStringLiteral("service"), QStringLiteral("com.wrenlark"),
             QStringLiteral("account"), QStringLiteral("openai_api_key")});
        QByteArray settings;
        {
            ResidentApp app;
            // The provider the user means; the chips could be walked with the arrows too.
            app.setSetting(QStringLiteral("ai_provider_current"), QStringLiteral("openai"));
            QVERIFY(app.start());
            QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(app.pid()).size(), qsizetype(1), 20000);
            QTRY_COMPARE_WITH_TIMEOUT(activeWindowName(), QByteArray("Wrenlark Setup"), 10000);

            // Next (intro), Next (permission: the test desktop has accessibility on).
            press({QStringLiteral("space")});
            QTest::qWait(500);
            press({QStringLiteral("space")});
            QTest::qWait(1000);
            // The provider step puts the keyboard in the key field.
            type(QStringLiteral("  sk-desktop-walk  "));
            QTRY_COMPARE_WITH_TIMEOUT(storedKey(QStringLiteral("openai_api_key")),
                                      QByteArray("sk-desktop-walk"), 10000);
            // Key field → the help link (which takes a Tab to reach its link) → Back → Complete.
            press({QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                   QStringLiteral("Tab"), QStringLiteral("space")});
            QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(app.pid()).size(), qsizetype(0), 10000);
            QVERIFY2(app.process().state() == QProcess::Running, "closing setup ended the app");

            QSettings stored(app.settingsFile(), QSettings::IniFormat);
            QVERIFY(stored.value(QStringLiteral("did_complete_onboarding")).toBool());
            QFile file(app.settingsFile());
            QVERIFY(file.open(QIODevice::ReadOnly));
            settings = file.readAll();
        }

        // The next start with these settings shows no window.
        ResidentApp next;
        QFile file(next.settingsFile());
        QVERIFY(QFileInfo(file).dir().mkpath(QStringLiteral(".")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings);
        file.close();
        QVERIFY(next.start());
        QTest::qWait(1500);
        QCOMPARE(visibleWindows(next.pid()).size(), qsizetype(0));
    }

    // The provider choices are a group of radio buttons: their action
    // selects one (it used to check the chip and leave the first provider's
    // sign-in panel), and the step's controls follow.
    void setupIsDrivenOverAccessibilityAlone()
    {
        run(QStringLiteral("secret-tool"),
            {QStringLiteral("clear"), QStringLiteral("service"), QStringLiteral("com.wrenlark"),
             QStringLiteral("account"), QStringLiteral("xai_api_key")});
        ResidentApp app;
        QVERIFY(app.start());
        QTRY_COMPARE_WITH_TIMEOUT(
            atspi(QStringLiteral("describe"), QStringLiteral("Step 1 of 3")).isEmpty(), false,
            20000);
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Next")));
        QTRY_VERIFY_WITH_TIMEOUT(
            !atspi(QStringLiteral("describe"), QStringLiteral("Step 2 of 3")).isEmpty(), 10000);
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Next")));
        QTRY_VERIFY_WITH_TIMEOUT(
            !atspi(QStringLiteral("describe"), QStringLiteral("Step 3 of 3")).isEmpty(), 10000);
        // The step's first control has the focus.
        QVERIFY2(!atspi(QStringLiteral("focused")).isEmpty(), "no focus after the step change");

        QVERIFY(!atspi(QStringLiteral("describe"), QStringLiteral("Connect in Browser")).isEmpty());
        const QByteArray before = atspi(QStringLiteral("describe"), QStringLiteral("xAI"));
        QVERIFY2(before.startsWith("radio button|") && !before.contains("checked"),
                 before.constData());
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("xAI")));
        QTRY_VERIFY_WITH_TIMEOUT(
            atspi(QStringLiteral("describe"), QStringLiteral("xAI")).contains("checked"), 10000);
        // The key field of the chosen provider shows, not the sign-in.
        QTRY_VERIFY_WITH_TIMEOUT(
            atspi(QStringLiteral("describe"), QStringLiteral("Connect in Browser")).isEmpty(),
            10000);
        QVERIFY(!atspi(QStringLiteral("describe"), QStringLiteral("API Key")).isEmpty());
        QVERIFY2(atspiDone(QStringLiteral("focus"), QStringLiteral("API Key")),
                 atspi(QStringLiteral("describe"), QStringLiteral("API Key")).constData());
        QTRY_VERIFY_WITH_TIMEOUT(atspi(QStringLiteral("focused")).endsWith("|API Key"), 10000);
        type(QStringLiteral("xai-by-reader"));
        QTRY_COMPARE_WITH_TIMEOUT(storedKey(QStringLiteral("xai_api_key")),
                                  QByteArray("xai-by-reader"), 10000);
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Complete")));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(app.pid()).size(), qsizetype(0), 10000);
        QSettings stored(app.settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("ai_provider_current")).toString(),
                 QStringLiteral("xai"));
    }
};

QTEST_GUILESS_MAIN(TestOnboardingDesktop)
#include "test_onboarding_desktop.moc"
