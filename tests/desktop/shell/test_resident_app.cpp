#include "DBusMenuReader.h"
#include "ResidentApp.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

namespace {

bool underTestDesktop()
{
    return qEnvironmentVariable("WRENLARK_DESKTOP_SESSION") == QLatin1String("1") &&
           !qEnvironmentVariableIsEmpty("DISPLAY");
}

bool runQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// org.freedesktop.Notifications as a notification daemon offers it,
// remembering what it was asked to show.
class NotificationRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList summaries;
    QStringList bodies;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &, int)
    {
        summaries << summary;
        bodies << body;
        return uint(summaries.size());
    }
};

bool serveNotifications(QDBusConnection bus, NotificationRecorder *recorder)
{
    return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), recorder,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

// A session bus of the test's own, where no tray host runs.
class PrivateBus
{
public:
    PrivateBus()
    {
        address = QStringLiteral("unix:path=") + m_dir.filePath(QStringLiteral("bus"));
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--address=") + address});
        m_daemon.setProcessChannelMode(QProcess::ForwardedChannels);
        m_daemon.waitForStarted();
        // Connecting caches a failure under the name: wait for the socket.
        for (int i = 0; i < 500 && !QFileInfo::exists(m_dir.filePath(QStringLiteral("bus"))); ++i)
            QTest::qWait(10);
    }
    ~PrivateBus()
    {
        for (QProcess *process : {&m_tray, &m_watcher, &m_daemon}) {
            process->terminate();
            process->waitForFinished(3000);
        }
    }
    // The watcher icons register with, then the tray that shows them.
    void startTrayHost(QDBusConnection &connection)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        m_watcher.setProcessEnvironment(environment);
        m_watcher.start(QStringLiteral("status-notifier-watcher"), {});
        for (int i = 0; i < 500; ++i) {
            if (connection.interface()
                    ->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"))
                    .value())
                break;
            QTest::qWait(20);
        }
        m_tray.setProcessEnvironment(environment);
        m_tray.start(QStringLiteral("gtk-sni-tray-standalone"),
                     {QStringLiteral("--bottom"), QStringLiteral("--no-strut")});
    }
    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QProcess m_watcher;
    QProcess m_tray;
};

QString describe(const DBusMenuEntry &entry)
{
    if (entry.isSeparator())
        return QStringLiteral("-");
    QString text = entry.label();
    if (!entry.shortcut().isEmpty())
        text += QStringLiteral(" (") + entry.shortcut() + u')';
    if (!entry.children.isEmpty()) {
        QStringList children;
        for (const DBusMenuEntry &child : entry.children)
            children << describe(child);
        text += QStringLiteral(" [") + children.join(u'|') + u']';
    }
    return text;
}

QStringList visibleItems(const DBusMenuEntry &root)
{
    QStringList items;
    for (const DBusMenuEntry &entry : root.children)
        if (entry.isVisible())
            items << describe(entry);
    return items;
}

int visibleWindowCount(qint64 pid)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--pid"), QString::number(pid)});
    if (!xdotool.waitForFinished(5000))
        return -1;
    const QByteArray output = xdotool.readAllStandardOutput();
    // xdotool gives up (BadWindow) when a window vanishes while it searches.
    if (xdotool.readAllStandardError().contains("X Error"))
        return -1;
    return int(output.trimmed().split('\n').count() - (xdotool.exitCode() == 0 ? 0 : 1));
}

bool barVisible(const ResidentApp &app)
{
    return app.diagnostics().value(QStringLiteral("bar_visible")).toBool();
}

// The active window's process, as the window manager says.
qint64 activeWindowPid()
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("getactivewindow"), QStringLiteral("getwindowpid")});
    if (!xdotool.waitForFinished(5000))
        return 0;
    return QString::fromLatin1(xdotool.readAllStandardOutput()).trimmed().toLongLong();
}

} // namespace

class TestResidentApp : public QObject
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

    // Two starts at the same moment end with one process owning the name;
    // a later start hands over to it and exits at once with 0.
    void oneInstancePerSession()
    {
        ResidentApp first;
        ResidentApp second;
        first.process().start();
        second.process().start();
        QTRY_VERIFY_WITH_TIMEOUT(first.nameOwnerPid() != 0, 20000);
        const qint64 owner = first.nameOwnerPid();
        ResidentApp &loser = owner == first.pid() ? second : first;
        QVERIFY(loser.waitForExit(20000));
        QCOMPARE(loser.process().exitCode(), 0);
        QVERIFY(owner == first.pid() || owner == second.pid());

        ResidentApp::Result again = first.runCommand({});
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(first.nameOwnerPid(), owner);
    }

    // The menu a tray host shows: the items, their order and key
    // equivalents; "Complete Setup..." only until onboarding is complete,
    // re-read when the menu opens.
    void trayMenuAsATrayHostReadsIt()
    {
        // A tray host of this test's own, so no other test sees its window.
        PrivateBus bus;
        QDBusConnection connection = QDBusConnection::connectToBus(bus.address, bus.address);
        QVERIFY(connection.isConnected());
        bus.startTrayHost(connection);
        ResidentApp app(bus.address);
        QVERIFY(app.start());
        DBusMenuReader reader(connection);
        QTRY_VERIFY_WITH_TIMEOUT(reader.findItemOf(app.pid()), 10000);
        QCOMPARE(reader.itemProperty(QStringLiteral("ToolTip")).isValid(), true);
        QCOMPARE(app.diagnostics().value(QStringLiteral("tray_host")).toBool(), true);

        const QStringList before{"Settings... (Control+,)",
                                 "Ask About Screen Region...",
                                 "-",
                                 "Complete Setup...",
                                 "-",
                                 "Support [Report a Bug|Contact Support|Send Feedback]",
                                 "-",
                                 "Quit Wrenlark (Control+Q)"};
        QTRY_COMPARE_WITH_TIMEOUT(visibleItems(reader.layout()), before, 5000);

        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        reader.aboutToShow();
        const QStringList after{"Settings... (Control+,)",
                                "Ask About Screen Region...",
                                "-",
                                "Support [Report a Bug|Contact Support|Send Feedback]",
                                "-",
                                "Quit Wrenlark (Control+Q)"};
        QTRY_COMPARE_WITH_TIMEOUT(visibleItems(reader.layout()), after, 5000);

        // "Quit Wrenlark" ends the application in order.
        const DBusMenuEntry root = reader.layout();
        reader.click(root.children.last().id);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
    }

    // openbox's stock configuration binds Alt+Space itself: the grab is
    // refused, and that is said in the log, in a notification, to `doctor`.
    void refusedShortcutIsReported()
    {
        const QString rc = qEnvironmentVariable("WRENLARK_DESKTOP_TOKEN") +
                           QStringLiteral("/config/openbox/rc.xml");
        const QString stock = QStringLiteral("/etc/xdg/openbox/rc.xml");
        if (!QFile::exists(rc) || !QFile::exists(stock))
            QSKIP("openbox's configuration files are not where the desktop session puts them");
        QFile::remove(rc + QStringLiteral(".test"));
        QVERIFY(QFile::copy(rc, rc + QStringLiteral(".test")));
        auto restore = qScopeGuard([&] {
            QFile::remove(rc);
            QFile::rename(rc + QStringLiteral(".test"), rc);
            runQuietly(QStringLiteral("openbox"), {QStringLiteral("--reconfigure")});
            QTest::qWait(300);
        });
        QFile::remove(rc);
        QVERIFY(QFile::copy(stock, rc));
        QVERIFY(runQuietly(QStringLiteral("openbox"), {QStringLiteral("--reconfigure")}));
        QTest::qWait(300);

        NotificationRecorder notifications;
        QVERIFY(serveNotifications(QDBusConnection::sessionBus(), &notifications));
        auto stopServing = qScopeGuard([] {
            QDBusConnection::sessionBus().unregisterService(
                QStringLiteral("org.freedesktop.Notifications"));
            QDBusConnection::sessionBus().unregisterObject(
                QStringLiteral("/org/freedesktop/Notifications"));
        });

        ResidentApp app;
        QVERIFY(app.start());
        QTRY_VERIFY_WITH_TIMEOUT(
            !app.diagnostics().value(QStringLiteral("shortcut_error")).toString().isEmpty(), 5000);
        const QVariantMap diagnostics = app.diagnostics();
        QCOMPARE(diagnostics.value(QStringLiteral("shortcut")).toString(),
                 QStringLiteral("Alt+Space"));
        QVERIFY(diagnostics.value(QStringLiteral("shortcut_error"))
                    .toString()
                    .contains(QStringLiteral("used by another program")));
        QTRY_VERIFY_WITH_TIMEOUT(!notifications.summaries.isEmpty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(notifications.summaries.join(u'\n').contains(
                                     QStringLiteral("Alt+Space does not open Wrenlark")),
                                 5000);
        QVERIFY(app.log().contains(QStringLiteral("ERROR")));

        QProcess doctor;
        doctor.setProcessEnvironment(app.environment());
        doctor.start(qEnvironmentVariable("WRENLARK_BINARY"), {QStringLiteral("doctor")});
        QVERIFY(doctor.waitForFinished(20000));
        const QString report = QString::fromUtf8(doctor.readAllStandardOutput());
        QVERIFY2(report.contains(QStringLiteral("Alt+Space refused")), qPrintable(report));
    }

    // Setup shows at launch while it is incomplete; once it is complete the
    // application starts with no window, and starting it again opens Settings.
    void launchAndReopenShowTheRightWindow()
    {
        {
            ResidentApp app;
            QVERIFY(app.start());
            QTRY_COMPARE_WITH_TIMEOUT(visibleWindowCount(app.pid()), 1, 20000);
        }
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(app.start());
        QTest::qWait(500);
        QCOMPARE(visibleWindowCount(app.pid()), 0);
        QCOMPARE(app.runCommand({}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindowCount(app.pid()), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(activeWindowPid(), app.pid(), 5000);
    }

    // Alt+Space through XTest and `wrenlark toggle` both open the bar, and
    // close it when it shows.
    void shortcutAndCommandToggleTheBar()
    {
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(app.start());
        QTRY_COMPARE_WITH_TIMEOUT(app.diagnostics().value(QStringLiteral("shortcut")).toString(),
                                  QStringLiteral("Alt+Space"), 5000);
        QCOMPARE(app.diagnostics().value(QStringLiteral("shortcut_error")).toString(), QString());
        if (!app.diagnostics().value(QStringLiteral("command_bar")).toBool())
            QSKIP("this build has no command bar yet");

        QVERIFY(runQuietly(QStringLiteral("xdotool"),
                           {QStringLiteral("key"), QStringLiteral("alt+space")}));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindowPid(), app.pid(), 5000);
        QVERIFY(runQuietly(QStringLiteral("xdotool"),
                           {QStringLiteral("key"), QStringLiteral("alt+space")}));
        QTRY_VERIFY_WITH_TIMEOUT(!barVisible(app), 5000);

        const auto toggles = [&] {
            return app.diagnostics().value(QStringLiteral("toggles")).toLongLong();
        };
        const qint64 pressed = toggles();
        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(activeWindowPid(), app.pid(), 5000);
        QCOMPARE(app.runCommand({QStringLiteral("--toggle")}).exitCode, 0);
        // Both calls arrived as toggles. (Without another window to fall
        // back to, the bar opened by a call without a key-press time may
        // lose activation and close itself before the second call, which
        // then opens it again.)
        QCOMPARE(toggles(), pressed + 2);
        if (barVisible(app))
            QVERIFY(runQuietly(QStringLiteral("xdotool"),
                               {QStringLiteral("key"), QStringLiteral("alt+space")}));
        QTRY_VERIFY_WITH_TIMEOUT(!barVisible(app), 5000);

        // Space held down with Alt repeats; the repeats are not presses.
        const qint64 before = app.diagnostics().value(QStringLiteral("toggles")).toLongLong();
        QVERIFY(
            runQuietly(QStringLiteral("xdotool"),
                       {QStringLiteral("keydown"), QStringLiteral("alt"), QStringLiteral("keydown"),
                        QStringLiteral("space"), QStringLiteral("sleep"), QStringLiteral("1.5"),
                        QStringLiteral("keyup"), QStringLiteral("space"), QStringLiteral("keyup"),
                        QStringLiteral("alt")}));
        QTRY_COMPARE_WITH_TIMEOUT(activeWindowPid(), app.pid(), 5000);
        QCOMPARE(app.diagnostics().value(QStringLiteral("toggles")).toLongLong(), before + 1);
    }

    // `wrenlark toggle` with nothing running starts the application and
    // then opens the bar in it.
    void toggleStartsTheApplication()
    {
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QCOMPARE(app.nameOwnerPid(), 0);
        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        const qint64 started = app.nameOwnerPid();
        QVERIFY(started != 0);
        if (app.diagnostics().value(QStringLiteral("command_bar")).toBool())
            QTRY_COMPARE_WITH_TIMEOUT(activeWindowPid(), started, 5000);
        QCOMPARE(app.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(app.nameOwnerPid(), 0, 10000);
    }

    void terminationBySignalAndCommand()
    {
        {
            ResidentApp app;
            QVERIFY(app.start());
            ::kill(pid_t(app.pid()), SIGTERM);
            QVERIFY(app.waitForExit());
            QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
            QCOMPARE(app.process().exitCode(), 0);
            QVERIFY(app.log().contains(QStringLiteral("Signal 15")));
            QCOMPARE(app.nameOwnerPid(), 0);
        }
        ResidentApp app;
        QVERIFY(app.start());
        QCOMPARE(app.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.process().exitCode(), 0);
        // With nothing running, quitting has nothing to do.
        const ResidentApp::Result idle = app.runCommand({QStringLiteral("quit")});
        QCOMPARE(idle.exitCode, 0);
        QVERIFY(idle.errors.contains("not running"));
    }

    // D-Bus calls with arguments the application does not take get errors,
    // and it keeps running.
    void wrongCallsGetErrors()
    {
        ResidentApp app;
        QVERIFY(app.start());
        const auto call = [&](const QString &interface, const QString &method,
                              QVariantList arguments) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                QStringLiteral("com.wrenlark.Wrenlark"), QStringLiteral("/com/wrenlark/Wrenlark"),
                interface, method);
            message.setArguments(arguments);
            return app.bus().call(message, QDBus::Block, 5000);
        };
        const QString application = QStringLiteral("org.freedesktop.Application");
        const QString shell = QStringLiteral("com.wrenlark.Shell");
        QCOMPARE(call(application, QStringLiteral("Activate"), {42}).type(),
                 QDBusMessage::ErrorMessage);
        QCOMPARE(call(application, QStringLiteral("ActivateAction"),
                      {QStringLiteral("nonsense"), QVariantList(), QVariantMap()})
                     .type(),
                 QDBusMessage::ErrorMessage);
        QCOMPARE(call(application, QStringLiteral("Open"), {QStringList(), QVariantMap()}).type(),
                 QDBusMessage::ErrorMessage);
        QCOMPARE(call(shell, QStringLiteral("Toggle"), {QStringLiteral("x"), 1}).type(),
                 QDBusMessage::ErrorMessage);
        QCOMPARE(call(shell, QStringLiteral("StartCapture"), {QStringLiteral("x")}).type(),
                 QDBusMessage::ErrorMessage);
        QVariantMap oddPlatformData{{QStringLiteral("desktop-startup-id"), 7},
                                    {QStringLiteral("activation-token"), QVariantList{1, 2}}};
        QCOMPARE(call(shell, QStringLiteral("ShowOnboarding"), {oddPlatformData}).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(app.nameOwnerPid(), app.pid());
    }

    // Without a display or a session bus the commands say so and fail; a
    // display that cannot be opened counts as none, said, never an abort.
    void commandsWithoutADesktop()
    {
        ResidentApp app;
        QProcessEnvironment environment = app.environment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        QProcess resident;
        resident.setProcessEnvironment(environment);
        resident.start(qEnvironmentVariable("WRENLARK_BINARY"), {});
        QVERIFY(resident.waitForFinished(10000));
        QVERIFY(resident.exitCode() != 0);
        QVERIFY(resident.readAllStandardError().contains("wrenlark ask"));

        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":987"));
        for (const QStringList &arguments :
             {QStringList{}, QStringList{QStringLiteral("doctor")}}) {
            QProcess process;
            process.setProcessEnvironment(environment);
            process.start(qEnvironmentVariable("WRENLARK_BINARY"), arguments);
            QVERIFY(process.waitForFinished(20000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            const QByteArray said = process.readAllStandardError();
            QVERIFY2(said.contains("The X display :987 (DISPLAY) cannot be opened; going on "
                                   "without a display."),
                     said.constData());
            if (arguments.isEmpty())
                QCOMPARE(process.exitCode(), 1);
            else
                QVERIFY(process.readAllStandardOutput().contains("no display"));
        }

        environment = app.environment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent/wrenlark-bus"));
        QProcess toggle;
        toggle.setProcessEnvironment(environment);
        toggle.start(qEnvironmentVariable("WRENLARK_BINARY"), {QStringLiteral("toggle")});
        QVERIFY(toggle.waitForFinished(10000));
        QCOMPARE(toggle.exitCode(), 1);
        QVERIFY(toggle.readAllStandardError().contains("session bus"));
    }

    // No tray host: the application runs, says once how to reach Settings,
    // answers `wrenlark toggle`, and shows its icon when a host appears.
    void withoutATrayHost()
    {
        PrivateBus bus;
        QDBusConnection connection = QDBusConnection::connectToBus(bus.address, bus.address);
        QVERIFY(connection.isConnected());
        NotificationRecorder notifications;
        QVERIFY(serveNotifications(connection, &notifications));
        {
            ResidentApp app(bus.address);
            QVERIFY(app.start());
            QCOMPARE(app.diagnostics().value(QStringLiteral("tray_host")).toBool(), false);
            QTRY_COMPARE_WITH_TIMEOUT(notifications.summaries.size(), 1, 5000);
            QVERIFY(notifications.bodies.first().contains(QStringLiteral("wrenlark preferences")));
            QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
            QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);

            bus.startTrayHost(connection);
            DBusMenuReader reader(connection);
            QTRY_VERIFY_WITH_TIMEOUT(reader.findItemOf(app.pid()), 10000);
            QCOMPARE(app.runCommand({QStringLiteral("quit")}).exitCode, 0);
            QVERIFY(app.waitForExit());
        }
        QCOMPARE(notifications.summaries.size(), 1);
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestResidentApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_resident_app.moc"
