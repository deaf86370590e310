// The resident application on a Wayland desktop (headless sway, brought up
// by tests/support/wayland-session): `wrenlark toggle` opens the command bar
// as the focused window and closes it again, under XWayland (what the
// application chooses when XWayland is there) and as a Wayland client (when
// the user asks for one), where the launcher's activation token reaches the
// compositor.
#include "ResidentApp.h"
#include "SwayTree.h"
#include "support/DesktopTestSession.h"

#include <QFile>
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

namespace {

const QString barTitle = QStringLiteral("Wrenlark");

std::optional<QString> unavailableReason()
{
    if (qEnvironmentVariable("WRENLARK_WAYLAND_SESSION") != QLatin1String("1"))
        return QStringLiteral("needs the Wayland desktop: run under tests/support/wayland-session");
    return std::nullopt;
}

bool barHasFocus(qint64 pid)
{
    const std::optional<SwayView> focused = SwayTree::focusedView();
    return focused && focused->pid == pid && focused->name == barTitle;
}

bool swaymsg(const QString &command)
{
    return DesktopTestSession::run(QStringLiteral("swaymsg"), {command}).exitCode == 0;
}

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class WaylandBarTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (const auto reason = unavailableReason())
            QSKIP(qPrintable(*reason));
    }

    // The measured choice: with XWayland there the application is an X11
    // client, and its bar floats at its own size with the focus.
    void barOpensFocusedUnderXWayland()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("the compositor started no XWayland");
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(app.start());
        QCOMPARE(app.diagnostics().value(QStringLiteral("qt_platform")).toString(),
                 QStringLiteral("xcb"));

        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(barHasFocus(app.pid()), 10000);
        const SwayView bar = *SwayTree::focusedView();
        QCOMPARE(bar.shell, QStringLiteral("xwayland"));
        QVERIFY(bar.floating);
        const QRect output = SwayTree::outputRect();
        QVERIFY2(bar.rect.height() < output.height() / 2,
                 qPrintable(QStringLiteral("the bar covers %1x%2 of %3x%4")
                                .arg(bar.rect.width())
                                .arg(bar.rect.height())
                                .arg(output.width())
                                .arg(output.height())));
        QVERIFY(output.contains(bar.rect));

        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(SwayTree::viewsOf(app.pid()).isEmpty(), 10000);
        QVERIFY(!app.diagnostics().value(QStringLiteral("bar_visible")).toBool());

        QCOMPARE(app.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
    }

    // With two outputs the bar opens on the one the user works on (the
    // focused one), whichever it was opened on before; opened again right
    // after it closed, it is not dismissed by the late report of its own
    // earlier loss of focus.
    void barOpensOnTheFocusedOutput()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("the compositor started no XWayland");
        if (SwayTree::outputs().size() < 2)
            QVERIFY(swaymsg(QStringLiteral("create_output")));
        QTRY_COMPARE_WITH_TIMEOUT(SwayTree::outputs().size(), 2, 10000);
        const QList<SwayOutput> outputs = SwayTree::outputs();
        QVERIFY(swaymsg(QStringLiteral("output %1 position 0 0").arg(outputs.at(0).name)));
        QVERIFY(swaymsg(QStringLiteral("output %1 position %2 0")
                            .arg(outputs.at(1).name)
                            .arg(outputs.at(0).rect.width())));
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(app.start());

        for (const int index : {1, 0, 1, 1}) {
            const QString name = outputs.at(index).name;
            QVERIFY(swaymsg(QStringLiteral("focus output %1").arg(name)));
            QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
            QTRY_VERIFY_WITH_TIMEOUT(barHasFocus(app.pid()), 10000);
            // Opened again at once after closing, the bar stays.
            QTest::qWait(1200);
            QVERIFY(barHasFocus(app.pid()));
            QRect output;
            for (const SwayOutput &candidate : SwayTree::outputs()) {
                if (candidate.name == name)
                    output = candidate.rect;
            }
            const QRect bar = SwayTree::focusedView()->rect;
            QVERIFY2(output.contains(bar),
                     qPrintable(
                         QStringLiteral("bar at %1,%2 on %3").arg(bar.x()).arg(bar.y()).arg(name)));
            QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
            QTRY_VERIFY_WITH_TIMEOUT(SwayTree::viewsOf(app.pid()).isEmpty(), 10000);
        }
        QCOMPARE(app.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QVERIFY(app.waitForExit());
    }

    // QT_QPA_PLATFORM=wayland wins over the application's own choice. The
    // activation token `wrenlark toggle` was launched with travels over
    // D-Bus, and the bar hands it to the compositor (xdg-activation), as
    // the client's own protocol trace shows.
    void waylandClientHandsOnTheLaunchersToken()
    {
        const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                               QStringLiteral("/platforms/libqwayland-generic.so");
        if (!QFile::exists(plugin))
            QSKIP("Qt's Wayland platform plugin (qt6-wayland) is not installed");
        QTemporaryDir traceFolder;
        const QString trace = traceFolder.filePath(QStringLiteral("wayland-trace.log"));
        ResidentApp app;
        app.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QProcessEnvironment environment = app.environment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        environment.insert(QStringLiteral("WAYLAND_DEBUG"), QStringLiteral("client"));
        app.process().setProcessEnvironment(environment);
        app.process().setProcessChannelMode(QProcess::SeparateChannels);
        app.process().setStandardErrorFile(trace);
        QVERIFY(app.start());
        QCOMPARE(app.diagnostics().value(QStringLiteral("qt_platform")).toString(),
                 QStringLiteral("wayland"));

        const QString token =
            QStringLiteral("wrenlark-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QCOMPARE(app.runCommand({QStringLiteral("toggle")}, 20000,
                                {QStringLiteral("XDG_ACTIVATION_TOKEN=") + token})
                     .exitCode,
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(barHasFocus(app.pid()), 10000);
        const SwayView bar = *SwayTree::focusedView();
        QCOMPARE(bar.shell, QStringLiteral("xdg_shell"));
        QCOMPARE(bar.appId, QStringLiteral("com.wrenlark.Wrenlark"));
        const QString activation = QStringLiteral(".activate(\"%1\", wl_surface@").arg(token);
        QTRY_VERIFY2_WITH_TIMEOUT(readFile(trace).contains(activation),
                                  "the token never reached the compositor", 10000);

        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(SwayTree::viewsOf(app.pid()).isEmpty(), 10000);

        // A token is spent once: opened again without one, the bar hands on
        // nothing stale.
        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(barHasFocus(app.pid()), 10000);
        QCOMPARE(app.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(SwayTree::viewsOf(app.pid()).isEmpty(), 10000);

        QCOMPARE(app.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QVERIFY(app.waitForExit());
        QCOMPARE(app.process().exitCode(), 0);
        QCOMPARE(readFile(trace).count(QStringLiteral(".activate(\"")), 1);
    }
};

QTEST_GUILESS_MAIN(WaylandBarTest)
#include "test_wayland_bar.moc"
