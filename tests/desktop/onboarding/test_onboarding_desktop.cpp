// A fresh start of the real application shows setup; a user walks it with
// the keyboard alone, types a key and completes it; the key is in the
// keyring, the settings say setup is done, and the next start shows nothing.
// A screen reader user does the same through accessibility alone: actions,
// focus and states over AT-SPI, and typing.

#include "desktop/shell/ResidentApp.h"
#include "support/DesktopTestSession.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
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

// Setup's first two steps passed with their "Next"; true on the third.
bool reachProviderStep()
{
    const auto shows = [](const char *step, int timeoutMs) {
        return TestHttpServer::waitUntil(
            [step] { return !atspi(QStringLiteral("describe"), QLatin1String(step)).isEmpty(); },
            timeoutMs);
    };
    return shows("Step 1 of 3", 20000) && atspiDone(QStringLiteral("do"), QStringLiteral("Next")) &&
           shows("Step 2 of 3", 10000) && atspiDone(QStringLiteral("do"), QStringLiteral("Next")) &&
           shows("Step 3 of 3", 10000);
}

QString readSetting(const ResidentApp &app, const QString &key)
{
    return QSettings(app.settingsFile(), QSettings::IniFormat).value(key).toString();
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
        QVERIFY(m_reader.start());
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
        m_reader.forget();
        ResidentApp app;
        QVERIFY(app.start());
        QVERIFY(reachProviderStep());
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

        // The choices are one stop of the Tab order; the arrows move and select.
        QVERIFY(atspiDone(QStringLiteral("focus"), QStringLiteral("xAI")));
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("xAI"), 10000);
        press({QStringLiteral("Left")});
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("Google"), 10000);
        QVERIFY(atspi(QStringLiteral("describe"), QStringLiteral("Google")).contains("checked"));
        QVERIFY(!atspi(QStringLiteral("describe"), QStringLiteral("xAI")).contains("checked"));
        press({QStringLiteral("Right")});
        QTRY_VERIFY_WITH_TIMEOUT(
            atspi(QStringLiteral("describe"), QStringLiteral("xAI")).contains("checked"), 10000);
        press({QStringLiteral("Tab")});
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("API Key"), 10000);
        press({QStringLiteral("shift+Tab")});
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("xAI"), 10000);

        QVERIFY2(atspiDone(QStringLiteral("focus"), QStringLiteral("API Key")),
                 atspi(QStringLiteral("describe"), QStringLiteral("API Key")).constData());
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("API Key"), 10000);
        type(QStringLiteral("xai-by-reader"));
        QTRY_COMPARE_WITH_TIMEOUT(storedKey(QStringLiteral("xai_api_key")),
                                  QByteArray("xai-by-reader"), 10000);
        // Said once, as it appears.
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.timesSaid("Provider is ready to use."), 1, 10000);
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Complete")));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(app.pid()).size(), qsizetype(0), 10000);
        QCOMPARE(readSetting(app, QStringLiteral("ai_provider_current")), QStringLiteral("xai"));
        QCOMPARE(m_reader.timesSaid("Provider is ready to use."), 1);
    }

    // A local model through setup over AT-SPI: the suggested address (here
    // the test's server) lists its models, one is picked, setup completes.
    void localModelIsSetUpOverAccessibilityAlone()
    {
        TestHttpServer server;
        server.setDefault(
            "GET", "/v1/models",
            TestHttpServer::Response::body(200, R"({"data":[{"id":"tiny"},{"id":"small"}]})"));
        m_reader.forget();
        ResidentApp app;
        const QJsonObject local{
            {"id", "local"},
            {"endpoint", server.url(QStringLiteral("/v1/chat/completions")).toString()},
            {"models", QJsonArray{QJsonObject{{"id", "llama3.2"}}}}};
        QFile catalog(QFileInfo(app.settingsFile()).dir().filePath("model-catalog.json"));
        QVERIFY(QFileInfo(catalog).dir().mkpath(QStringLiteral(".")));
        QVERIFY(catalog.open(QIODevice::WriteOnly));
        catalog.write(QJsonDocument(QJsonObject{{"providers", QJsonArray{local}}}).toJson());
        catalog.close();
        QVERIFY(app.start());
        QVERIFY(reachProviderStep());

        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Local model")));
        // The suggested address answered: it is kept, with the first model.
        QTRY_COMPARE_WITH_TIMEOUT(readSetting(app, QStringLiteral("local_server_address")),
                                  server.url(QStringLiteral("/v1")).toString(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.timesSaid("Provider is ready to use."), 1, 10000);
        QVERIFY(atspiDone(QStringLiteral("focus"), QStringLiteral("Model")));
        // The picker's field has the focus; a reader names it by its model.
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("tiny"), 10000);
        press({QStringLiteral("Down")});
        QTRY_COMPARE_WITH_TIMEOUT(readSetting(app, QStringLiteral("local_model")),
                                  QStringLiteral("small"), 10000);
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Complete")));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(app.pid()).size(), qsizetype(0), 10000);
        QCOMPARE(readSetting(app, QStringLiteral("ai_provider_current")), QStringLiteral("local"));
    }

    // Settings through the same means: a command added and edited, another
    // default provider, a shortcut recorded, launch at login turned off.
    void settingsAreDrivenOverAccessibilityAlone()
    {
        run(QStringLiteral("secret-tool"),
            {QStringLiteral("clear"), QStringLiteral("service"), QStringLiteral("com.wrenlark"),
             QStringLiteral("account"), QStringLiteral("anthropic_api_key")});
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(app.start());
        QCOMPARE(app.runCommand({QStringLiteral("preferences")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            !atspi(QStringLiteral("describe"), QStringLiteral("Add Command")).isEmpty(), 20000);

        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Add Command")));
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("Shorthand"), 10000);
        type(QStringLiteral("fr"));
        press({QStringLiteral("Tab")});
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("Instruction"), 10000);
        type(QStringLiteral("translate to French"));
        QTRY_VERIFY_WITH_TIMEOUT(readSetting(app, QStringLiteral("user_commands"))
                                     .contains(QStringLiteral("translate to French")),
                                 10000);
        press({QStringLiteral("BackSpace"), QStringLiteral("BackSpace")});
        type(QStringLiteral("ch, formally"));
        QTRY_VERIFY_WITH_TIMEOUT(readSetting(app, QStringLiteral("user_commands"))
                                     .contains(QStringLiteral("translate to French, formally")),
                                 10000);

        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("AI Providers")));
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Anthropic")));
        QTRY_VERIFY_WITH_TIMEOUT(
            atspi(QStringLiteral("describe"), QStringLiteral("Anthropic")).contains("selected"),
            10000);
        // The field takes the focus once the keyring was read.
        QTRY_VERIFY_WITH_TIMEOUT(atspiDone(QStringLiteral("focus"), QStringLiteral("API Key")),
                                 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("API Key"), 10000);
        type(QStringLiteral("sk-ant-by-reader"));
        press({QStringLiteral("Return")});
        QTRY_COMPARE_WITH_TIMEOUT(storedKey(QStringLiteral("anthropic_api_key")),
                                  QByteArray("sk-ant-by-reader"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            !atspi(QStringLiteral("describe"), QStringLiteral("Set as default provider")).isEmpty(),
            10000);
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Set as default provider")));
        QTRY_COMPARE_WITH_TIMEOUT(readSetting(app, QStringLiteral("ai_provider_current")),
                                  QStringLiteral("anthropic"), 10000);
        QVERIFY(atspi(QStringLiteral("describe"), QStringLiteral("Default provider"))
                    .contains("checked"));

        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("General")));
        QVERIFY(atspiDone(QStringLiteral("focus"), QStringLiteral("Show Wrenlark")));
        QTRY_COMPARE_WITH_TIMEOUT(m_reader.focus(), QByteArray("Show Wrenlark"), 10000);
        press({QStringLiteral("ctrl+alt+k")});
        QTRY_COMPARE_WITH_TIMEOUT(
            readSetting(app, QStringLiteral("keyboard_shortcut_toggleWrenlark")),
            QStringLiteral("Ctrl+Alt+K"), 10000);

        const QString autostart = app.environment().value(QStringLiteral("XDG_CONFIG_HOME")) +
                                  QStringLiteral("/autostart/wrenlark.desktop");
        const bool launching =
            atspi(QStringLiteral("describe"), QStringLiteral("Launch Wrenlark at login"))
                .contains("checked");
        // The login item runs the `wrenlark` users run, not the desktop part
        // that it hands the resident application over to.
        const auto loginItemRunsWrenlark = [&] {
            QFile entry(autostart);
            return entry.open(QIODevice::ReadOnly) &&
                   entry.readAll().contains("\nExec=" + qgetenv("WRENLARK_BINARY") +
                                            " --started-at-login\n");
        };
        QCOMPARE(QFileInfo::exists(autostart), launching);
        QVERIFY(!launching || loginItemRunsWrenlark());
        QVERIFY(atspiDone(QStringLiteral("do"), QStringLiteral("Launch Wrenlark at login")));
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo::exists(autostart), !launching, 10000);
        QVERIFY(launching || loginItemRunsWrenlark());
        QCOMPARE(atspi(QStringLiteral("describe"), QStringLiteral("Launch Wrenlark at login"))
                     .contains("checked"),
                 !launching);
    }

private:
    DesktopTestSession::ScreenReader m_reader;
};

QTEST_GUILESS_MAIN(TestOnboardingDesktop)
#include "test_onboarding_desktop.moc"
