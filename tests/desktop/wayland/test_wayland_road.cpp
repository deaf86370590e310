// The whole road on a Wayland desktop (headless sway with XWayland, AT-SPI
// and a keyring, brought up by tests/support/wayland-session): the Qt test
// editor runs as a native Wayland client with a word selected, the real
// resident application under XWayland. `wrenlark toggle` opens the bar
// focused, the selection is read over AT-SPI, an instruction and Return
// stream the reply from a local server, Ctrl+Return writes it over the
// selection (over accessibility, or for a browser with its keys through the
// Wayland clipboard), the bar closes, the editor has the focus again and
// the user's clipboard is what it was. Before that, the window tracking the
// application uses on sway sees and focuses the Wayland editor, which the
// X11 window manager cannot, and brings this application's own XWayland
// window back, which its own activation request does not.
#include "ResidentApp.h"
#include "SwayTree.h"
#include "TestEditor.h"
#include "WaylandClipboard.h"
#include "platform/linux/applications/LinuxRunningApplications.h"
#include "platform/linux/desktops/wlroots/SwayWindowSource.h"
#include "support/DesktopTestSession.h"
#include "support/TestHttpServer.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QRasterWindow>
#include <QTest>

using DesktopTestSession::run;
using SwayTree::focusedPid;

namespace {

const QString barTitle = QStringLiteral("Wrenlark");

std::optional<QString> unavailableReason()
{
    if (qEnvironmentVariable("WRENLARK_WAYLAND_SESSION") != QLatin1String("1"))
        return QStringLiteral("needs the Wayland desktop: run under tests/support/wayland-session");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("the compositor started no XWayland");
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms/libqwayland-generic.so")))
        return QStringLiteral("Qt's Wayland platform plugin (qt6-wayland) is not installed");
    return std::nullopt;
}

QByteArray delta(const QString &text)
{
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

bool barHasFocus(qint64 pid)
{
    const std::optional<SwayView> focused = SwayTree::focusedView();
    return focused && focused->pid == pid && focused->name == barTitle &&
           focused->shell == QLatin1String("xwayland");
}

// Keys into the focused XWayland window, through XTest on XWayland's display.
bool xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments).exitCode == 0;
}

// The process whose window has XWayland's input focus: sway tells its own
// focus first, and gives the X11 focus after.
qint64 x11FocusedPid()
{
    const auto result = run(QStringLiteral("xdotool"),
                            {QStringLiteral("getwindowfocus"), QStringLiteral("getwindowpid")});
    return result.exitCode == 0 ? QString::fromUtf8(result.output).trimmed().toLongLong() : 0;
}

} // namespace

class WaylandRoadTest : public QObject
{
    Q_OBJECT

    TestHttpServer m_server;
    qsizetype m_requestsAfterAsking = 0;

private Q_SLOTS:
    void init()
    {
        if (const auto reason = unavailableReason())
            QSKIP(qPrintable(*reason));
    }

    // What the resident application asks on sway: the Wayland editor is
    // frontmost while it has the focus, is known by its app id, and comes
    // back to the front when activated.
    void swayTellsAndFocusesTheWaylandEditor()
    {
        TestEditor editor;
        QVERIFY(editor.start(QStringLiteral("hello"), QStringLiteral("Wayland editor")));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 10000);
        QCOMPARE(SwayTree::focusedView()->shell, QStringLiteral("xdg_shell"));

        LinuxRunningApplications applications(
            std::make_shared<SwayWindowSource>(qEnvironmentVariable("SWAYSOCK")));
        QCOMPARE(applications.frontmostPid(), qint32(editor.pid()));
        const auto app = applications.application(qint32(editor.pid()));
        QVERIFY(app);
        QCOMPARE(app->bundleID, QStringLiteral("wrenlark-test-editor"));
        QCOMPARE(app->executablePath,
                 QFileInfo(QStringLiteral(WRENLARK_TEST_EDITOR)).canonicalFilePath());

        // Another window takes the focus (an X11 one, which the X11 road
        // would see); activation brings the Wayland editor back.
        {
            TestEditor other;
            QVERIFY(other.start({}, QStringLiteral("X11 editor"), QStringLiteral("xcb")));
            QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), other.pid(), 10000);
            QCOMPARE(applications.frontmostPid(), qint32(other.pid()));
            QVERIFY(applications.activate(qint32(editor.pid())));
            QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 5000);
            QCOMPARE(applications.frontmostPid(), qint32(editor.pid()));
        }

        // A process without a window is no running application.
        QVERIFY(!applications.application(qint32(QCoreApplication::applicationPid())));
        QVERIFY(!applications.activate(qint32(QCoreApplication::applicationPid())));
    }

    // sway takes an XWayland window's own activation request for a hint
    // (it marks the window urgent): this application's window comes back
    // to the front after borrowing the focus (a clipboard probe) through
    // the IPC.
    void ownWindowComesBackToTheFront()
    {
        QRasterWindow window;
        window.setTitle(QStringLiteral("Own window"));
        window.resize(300, 200);
        window.show();
        const qint64 ownPid = QCoreApplication::applicationPid();
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), ownPid, 10000);

        TestEditor editor;
        QVERIFY(editor.start(QStringLiteral("hello"), QStringLiteral("Wayland editor")));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 10000);
        LinuxRunningApplications applications(
            std::make_shared<SwayWindowSource>(qEnvironmentVariable("SWAYSOCK")));
        applications.restoreFocus(ownPid);
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), ownPid, 5000);
        QCOMPARE(SwayTree::focusedView()->name, QStringLiteral("Own window"));
        applications.restoreFocus(qint32(editor.pid()));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 5000);
    }

    void toggleAskAndReplaceInAWaylandEditor_data()
    {
        QTest::addColumn<bool>("browser");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<QString>("programName");
        QTest::newRow("an editor, read and written over accessibility")
            << false << true << QStringLiteral("wrenlark-test-editor");
        // A browser (the editor under Firefox's name), whose selection is
        // read over accessibility and replaced with the paste key.
        QTest::newRow("a browser") << true << true << QStringLiteral("firefox");
        // A browser that exposes nothing over accessibility: its selection
        // is copied with its keys.
        QTest::newRow("a browser without accessibility")
            << true << false << QStringLiteral("firefox");
    }

    void toggleAskAndReplaceInAWaylandEditor()
    {
        QFETCH(bool, browser);
        QFETCH(bool, accessible);
        QFETCH(QString, programName);
        ResidentApp resident;
        resident.setSetting(QStringLiteral("did_complete_onboarding"), true);
        QVERIFY(resident.configureProvider(m_server.url(QStringLiteral("/openai/v1/chat"))));
        QVERIFY(resident.start());
        QCOMPARE(resident.diagnostics().value(QStringLiteral("qt_platform")).toString(),
                 QStringLiteral("xcb"));

        TestEditor editor;
        editor.setProgramName(programName);
        editor.setAccessible(accessible);
        QVERIFY(editor.start(QStringLiteral("hello world foo"), QStringLiteral("Wayland editor")));
        QCOMPARE(editor.ask(QStringLiteral("select world")), QStringLiteral("selected 6 11"));
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 10000);
        // What the application takes for the target when the bar opens.
        QCOMPARE(resident.diagnostics().value(QStringLiteral("frontmost_pid")).toLongLong(),
                 editor.pid());
        WaylandClipboard::setText(QStringLiteral("kept"));
        QTRY_COMPARE_WITH_TIMEOUT(WaylandClipboard::text(), QStringLiteral("kept"), 5000);
        m_server.enqueue("POST", "/openai/v1/chat",
                         TestHttpServer::Response::eventStream(
                             {delta(QStringLiteral("WO")), delta(QStringLiteral("RLD")),
                              TestHttpServer::sseData(QByteArrayLiteral("[DONE]"))},
                             300));

        const int requestsBefore = m_server.requestCount();
        QCOMPARE(resident.runCommand({QStringLiteral("toggle")}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(barHasFocus(resident.pid()), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(x11FocusedPid(), resident.pid(), 10000);
        QVERIFY(
            DesktopTestSession::askInBar(QStringLiteral("upper case"), QStringLiteral("\nWORLD")));
        // The selection went to the provider with the instruction.
        QCOMPARE(m_server.requestCount(), requestsBefore + 1);
        m_requestsAfterAsking = m_server.requestCount();
        const QByteArray sent = QJsonDocument(m_server.requests().constLast().jsonBody()).toJson();
        QVERIFY2(sent.contains("world") && sent.contains("upper case"),
                 qPrintable(QString::fromUtf8(sent) + resident.log()));

        if (!browser)
            return replacedOverAccessibility(resident, editor);
        pastedThroughTheWaylandClipboard(resident, editor, accessible);
    }

private:
    void replacedOverAccessibility(ResidentApp &resident, TestEditor &editor)
    {
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(SwayTree::viewsOf(resident.pid()).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("hello WORLD foo"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(focusedPid(), editor.pid(), 5000);
        QCOMPARE(WaylandClipboard::text(), QStringLiteral("kept"));
        // Ctrl+Return came while the reply streamed: that reply was written.
        QCOMPARE(m_server.requestCount(), m_requestsAfterAsking);
        // The application took the editor, known by sway, for its target.
        QVERIFY2(resident.log().contains(QStringLiteral("Replacement target pid=%1 bundle="
                                                        "wrenlark-test-editor")
                                             .arg(editor.pid())),
                 qPrintable(resident.log()));
        quit(resident);
    }

    // A browser's selection is copied and replaced with its keys. sway's
    // XWayland bridge hands this X11 application's clipboard to a Wayland
    // window only while an X11 window has the focus, so both go through the
    // Wayland clipboard (data control), and the user's clipboard, saved from
    // there, is put back there each time.
    void pastedThroughTheWaylandClipboard(ResidentApp &resident, TestEditor &editor,
                                          bool accessible)
    {
        QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Return")}));
        QTRY_VERIFY_WITH_TIMEOUT(SwayTree::viewsOf(resident.pid()).isEmpty(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(editor.documentText(), QStringLiteral("hello WORLD foo"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(WaylandClipboard::text(), QStringLiteral("kept"), 5000);
        QCOMPARE(focusedPid(), editor.pid());
        QCOMPARE(m_server.requestCount(), m_requestsAfterAsking);
        QVERIFY2(!resident.log().contains(QStringLiteral("Replacement: paste not sent")),
                 qPrintable(resident.log()));
        if (!accessible)
            QVERIFY2(resident.log().contains(
                         QStringLiteral("copied through the Wayland clipboard textLen=5")),
                     qPrintable(resident.log()));
        quit(resident);
    }

    void quit(ResidentApp &resident)
    {
        QCOMPARE(resident.runCommand({QStringLiteral("quit")}).exitCode, 0);
        QVERIFY(resident.waitForExit());
    }
};

int main(int argc, char *argv[])
{
    // This process shows a window of its own under XWayland, as the
    // resident application does (CTest chooses the offscreen platform).
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    WaylandRoadTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_wayland_road.moc"
