// Which session and desktop an environment describes, which Qt platform the
// application asks for there, and which road each capability takes.
#include "platform/linux/session/DesktopSession.h"

#include <QTest>

namespace {

using Session = DesktopSession;

DesktopEnvironment environment(const QString &display, const QString &waylandDisplay,
                               const QString &sessionType, const QString &currentDesktop,
                               const QString &requested = {}, const QString &swaySocket = {})
{
    return {display, waylandDisplay, sessionType, currentDesktop, requested, swaySocket};
}

const DesktopEnvironment x11Openbox =
    environment(QStringLiteral(":0"), {}, QStringLiteral("x11"), {});
const DesktopEnvironment gnomeWayland =
    environment(QStringLiteral(":0"), QStringLiteral("wayland-0"), QStringLiteral("wayland"),
                QStringLiteral("ubuntu:GNOME"));
const DesktopEnvironment kdeWayland = environment(QStringLiteral(":1"), QStringLiteral("wayland-0"),
                                                  QStringLiteral("wayland"), QStringLiteral("KDE"));
const DesktopEnvironment swayWithoutXwayland =
    environment({}, QStringLiteral("wayland-1"), QStringLiteral("wayland"), QStringLiteral("sway"));
const DesktopEnvironment swayWithXwayland =
    environment(QStringLiteral(":0"), QStringLiteral("wayland-1"), QStringLiteral("wayland"),
                QStringLiteral("sway"), {}, QStringLiteral("/run/user/1000/sway-ipc.1000.42.sock"));

DesktopProbes x11Probes()
{
    DesktopProbes probes;
    probes.qtPlatform = QStringLiteral("xcb");
    probes.x11Reachable = true;
    probes.xtestAvailable = true;
    return probes;
}

} // namespace

Q_DECLARE_METATYPE(DesktopEnvironment)
Q_DECLARE_METATYPE(DesktopSession::Kind)
Q_DECLARE_METATYPE(DesktopSession::Family)
Q_DECLARE_METATYPE(DesktopSession::Client)
Q_DECLARE_METATYPE(DesktopSession::KeySynthesisMethod)
Q_DECLARE_METATYPE(DesktopSession::WindowTrackingMethod)

class DesktopSessionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sessionAndDesktopFromTheEnvironment_data();
    void sessionAndDesktopFromTheEnvironment();
    void platformChoiceLeavesTheUsersChoiceAlone_data();
    void platformChoiceLeavesTheUsersChoiceAlone();
    void x11SessionKeepsTheX11Road();
    void waylandShortcutRoads();
    void keysAndCaptureFollowTheClient();
    void waylandKeysTakeARoadThatReachesWaylandWindows_data();
    void waylandKeysTakeARoadThatReachesWaylandWindows();
    void windowTrackingTellsWhoKnowsTheFocus_data();
    void windowTrackingTellsWhoKnowsTheFocus();
};

void DesktopSessionTest::sessionAndDesktopFromTheEnvironment_data()
{
    QTest::addColumn<DesktopEnvironment>("environment");
    QTest::addColumn<Session::Kind>("kind");
    QTest::addColumn<Session::Family>("family");

    QTest::newRow("X11, openbox") << x11Openbox << Session::Kind::x11 << Session::Family::other;
    QTest::newRow("GNOME on Wayland, listed after ubuntu")
        << gnomeWayland << Session::Kind::wayland << Session::Family::gnome;
    QTest::newRow("GNOME Classic on X11")
        << environment(QStringLiteral(":0"), {}, QStringLiteral("x11"),
                       QStringLiteral("GNOME-Classic:GNOME"))
        << Session::Kind::x11 << Session::Family::gnome;
    QTest::newRow("KDE Plasma") << kdeWayland << Session::Kind::wayland << Session::Family::kde;
    QTest::newRow("sway") << swayWithoutXwayland << Session::Kind::wayland
                          << Session::Family::wlroots;
    QTest::newRow("Hyprland, any case")
        << environment({}, QStringLiteral("wayland-1"), {}, QStringLiteral("hyprland"))
        << Session::Kind::wayland << Session::Family::wlroots;
    QTest::newRow("Cinnamon") << environment(QStringLiteral(":0"), {}, {},
                                             QStringLiteral("X-Cinnamon"))
                              << Session::Kind::x11 << Session::Family::other;
    // A program started by a service of a Wayland session may lack
    // WAYLAND_DISPLAY; the session type still tells.
    QTest::newRow("Wayland by the session type alone")
        << environment({}, {}, QStringLiteral("Wayland"), QStringLiteral("GNOME"))
        << Session::Kind::wayland << Session::Family::gnome;
    // A nested compositor in an X11 session: the Wayland display counts.
    QTest::newRow("Wayland display in an X11 session")
        << environment(QStringLiteral(":0"), QStringLiteral("wayland-1"), QStringLiteral("x11"),
                       QStringLiteral("sway"))
        << Session::Kind::wayland << Session::Family::wlroots;
    // sway sets no XDG_CURRENT_DESKTOP itself; its IPC socket names it.
    QTest::newRow("sway, no desktop named")
        << environment({}, QStringLiteral("wayland-1"), {}, {}, {},
                       QStringLiteral("/run/user/1000/sway-ipc.1000.42.sock"))
        << Session::Kind::wayland << Session::Family::wlroots;
    QTest::newRow("a terminal login") << environment({}, {}, QStringLiteral("tty"), {})
                                      << Session::Kind::unknown << Session::Family::other;
}

void DesktopSessionTest::sessionAndDesktopFromTheEnvironment()
{
    QFETCH(DesktopEnvironment, environment);
    QFETCH(Session::Kind, kind);
    QFETCH(Session::Family, family);
    const Session session = Session::decide(environment, {});
    QCOMPARE(session.kind, kind);
    QCOMPARE(session.family, family);
    QCOMPARE(session.desktopName, environment.currentDesktop);
}

void DesktopSessionTest::platformChoiceLeavesTheUsersChoiceAlone_data()
{
    QTest::addColumn<DesktopEnvironment>("environment");
    QTest::addColumn<QByteArray>("preferred");
    QTest::addColumn<Session::Client>("client");
    QTest::addColumn<bool>("namesTheVariable");

    QTest::newRow("X11") << x11Openbox << QByteArray("xcb") << Session::Client::x11 << false;
    QTest::newRow("XWayland there")
        << gnomeWayland << QByteArray("xcb") << Session::Client::xwayland << false;
    QTest::newRow("no XWayland") << swayWithoutXwayland << QByteArray() << Session::Client::wayland
                                 << false;
    DesktopEnvironment wayland = gnomeWayland;
    wayland.requestedQtPlatform = QStringLiteral("wayland");
    QTest::newRow("the user asks for Wayland")
        << wayland << QByteArray() << Session::Client::wayland << true;
    wayland.requestedQtPlatform = QStringLiteral("wayland;xcb");
    QTest::newRow("the user lists Wayland first")
        << wayland << QByteArray() << Session::Client::wayland << true;
    DesktopEnvironment offscreen = x11Openbox;
    offscreen.requestedQtPlatform = QStringLiteral("offscreen");
    QTest::newRow("the user asks for offscreen")
        << offscreen << QByteArray() << Session::Client::none << true;
    QTest::newRow("no display at all")
        << environment({}, {}, {}, {}) << QByteArray() << Session::Client::none << false;
}

void DesktopSessionTest::platformChoiceLeavesTheUsersChoiceAlone()
{
    QFETCH(DesktopEnvironment, environment);
    QFETCH(QByteArray, preferred);
    QFETCH(Session::Client, client);
    QFETCH(bool, namesTheVariable);
    QCOMPARE(Session::preferredQtPlatform(environment), preferred);
    // Without a GUI the client is what the application would run as.
    const Session predicted = Session::decide(environment, {});
    QCOMPARE(predicted.client.method, client);
    QVERIFY(!predicted.client.reason.isEmpty());
    QCOMPARE(predicted.client.reason.contains(QStringLiteral("QT_QPA_PLATFORM")), namesTheVariable);
}

void DesktopSessionTest::x11SessionKeepsTheX11Road()
{
    const Session session = Session::decide(x11Openbox, x11Probes());
    QCOMPARE(session.client.method, Session::Client::x11);
    QCOMPARE(session.shortcut.method, Session::ShortcutMethod::x11Grab);
    QCOMPARE(session.keySynthesis.method, Session::KeySynthesisMethod::xtest);
    QCOMPARE(session.capture.method, Session::CaptureMethod::x11Grab);

    // An X server that does not answer grabs nothing and types nothing.
    DesktopProbes unreachable;
    unreachable.qtPlatform = QStringLiteral("xcb");
    const Session broken = Session::decide(x11Openbox, unreachable);
    QCOMPARE(broken.shortcut.method, Session::ShortcutMethod::bindCommand);
    QVERIFY(broken.shortcut.reason.contains(QStringLiteral("cannot be reached")));
    QCOMPARE(broken.keySynthesis.method, Session::KeySynthesisMethod::none);
    QVERIFY(broken.keySynthesis.reason.contains(QStringLiteral("XTest")));
}

void DesktopSessionTest::waylandShortcutRoads()
{
    // Under Wayland an X11 grab is never the road, even with XWayland there.
    DesktopProbes probes = x11Probes();
    const Session gnome = Session::decide(gnomeWayland, probes);
    QCOMPARE(gnome.shortcut.method, Session::ShortcutMethod::bindCommand);
    QVERIFY(gnome.shortcut.reason.contains(QStringLiteral("`wrenlark toggle`")));
    QVERIFY(gnome.shortcut.reason.contains(QStringLiteral("Custom Shortcuts")));

    probes.globalShortcutsPortal = true;
    QCOMPARE(Session::decide(kdeWayland, probes).shortcut.method, Session::ShortcutMethod::portal);
    // KDE's own shortcut service goes first: Plasma's portal binds nothing
    // for a program it cannot name. Elsewhere it is not asked for.
    probes.kdeGlobalAccel = true;
    QCOMPARE(Session::decide(kdeWayland, probes).shortcut.method,
             Session::ShortcutMethod::kdeGlobalAccel);
    QCOMPARE(Session::decide(gnomeWayland, probes).shortcut.method,
             Session::ShortcutMethod::portal);
    // The portal is asked about only on Wayland; an X11 session keeps its grab.
    QCOMPARE(Session::decide(x11Openbox, probes).shortcut.method, Session::ShortcutMethod::x11Grab);

    const Session sway = Session::decide(swayWithoutXwayland, {});
    QCOMPARE(sway.shortcut.method, Session::ShortcutMethod::bindCommand);
    QVERIFY(sway.shortcut.reason.contains(QStringLiteral("bindsym")));
    QCOMPARE(Session::decide(environment({}, {}, {}, {}), {}).shortcut.method,
             Session::ShortcutMethod::bindCommand);
}

void DesktopSessionTest::keysAndCaptureFollowTheClient()
{
    // Under XWayland XTest reaches X11 applications only, and the X11 screen
    // holds no Wayland window: capture goes through the portal.
    const Session xwayland = Session::decide(gnomeWayland, x11Probes());
    QCOMPARE(xwayland.client.method, Session::Client::xwayland);
    QCOMPARE(xwayland.keySynthesis.method, Session::KeySynthesisMethod::xtest);
    QVERIFY(xwayland.keySynthesis.reason.contains(QStringLiteral("X11 applications only")));
    QCOMPARE(xwayland.capture.method, Session::CaptureMethod::screenshotPortal);
    QCOMPARE(xwayland.primarySelection.method, Session::PrimarySelectionMethod::x11OwnerChecked);

    DesktopProbes native;
    native.qtPlatform = QStringLiteral("wayland");
    const Session wayland = Session::decide(swayWithoutXwayland, native);
    QCOMPARE(wayland.client.method, Session::Client::wayland);
    QCOMPARE(wayland.keySynthesis.method, Session::KeySynthesisMethod::none);
    QCOMPARE(wayland.capture.method, Session::CaptureMethod::screenshotPortal);
    // Nothing tells a Wayland client who owns PRIMARY: it is never taken on trust.
    QCOMPARE(wayland.primarySelection.method, Session::PrimarySelectionMethod::notRead);

    // A portal that was asked and offers no screenshots leaves no road; one
    // not asked about still is the road, as it may start later.
    native.screenshotPortal = false;
    const Session noPortal = Session::decide(swayWithoutXwayland, native);
    QCOMPARE(noPortal.capture.method, Session::CaptureMethod::none);
    QVERIFY2(noPortal.capture.reason.contains(QStringLiteral("xdg-desktop-portal")),
             qPrintable(noPortal.capture.reason));
    DesktopProbes x11 = x11Probes();
    x11.screenshotPortal = false;
    QCOMPARE(Session::decide(x11Openbox, x11).capture.method, Session::CaptureMethod::x11Grab);

    // sway's XWayland bridge hands our clipboard to Wayland windows only
    // while an X11 window has the focus; as a Wayland client, or on other
    // desktops (not measured), the clipboard reaches every window.
    const Session swayXwayland = Session::decide(swayWithXwayland, x11Probes());
    QCOMPARE(swayXwayland.clipboardReach.method, Session::ClipboardReach::x11Windows);
    // With data control, a paste into a Wayland window takes the Wayland
    // clipboard.
    DesktopProbes dataControl = x11Probes();
    dataControl.dataControlProtocol = true;
    QCOMPARE(Session::decide(swayWithXwayland, dataControl).clipboardReach.method,
             Session::ClipboardReach::dataControl);
    QCOMPARE(Session::decide(swayWithoutXwayland, native).clipboardReach.method,
             Session::ClipboardReach::allWindows);
    QCOMPARE(xwayland.clipboardReach.method, Session::ClipboardReach::allWindows);

    DesktopProbes offscreen;
    offscreen.qtPlatform = QStringLiteral("offscreen");
    const Session headless = Session::decide(x11Openbox, offscreen);
    QCOMPARE(headless.client.method, Session::Client::none);
    QCOMPARE(headless.keySynthesis.method, Session::KeySynthesisMethod::none);
    QCOMPARE(headless.capture.method, Session::CaptureMethod::none);
}

void DesktopSessionTest::waylandKeysTakeARoadThatReachesWaylandWindows_data()
{
    QTest::addColumn<DesktopEnvironment>("environment");
    QTest::addColumn<QString>("qtPlatform");
    QTest::addColumn<uint>("portal");
    QTest::addColumn<bool>("virtualKeyboard");
    QTest::addColumn<Session::KeySynthesisMethod>("road");
    QTest::addColumn<QString>("reasonNames");

    using Road = Session::KeySynthesisMethod;
    // The compositor types the portal's keys into Wayland and X11 windows
    // alike, so the portal wins over XTest under XWayland.
    QTest::newRow("GNOME, XWayland, portal")
        << gnomeWayland << QStringLiteral("xcb") << 2u << false << Road::remoteDesktopPortal
        << QStringLiteral("RemoteDesktop");
    // GNOME 43's portal, version 1, keeps no permission.
    QTest::newRow("GNOME, XWayland, portal version 1")
        << gnomeWayland << QStringLiteral("xcb") << 1u << false << Road::remoteDesktopPortal
        << QStringLiteral("each time Wrenlark starts");
    QTest::newRow("KDE, XWayland, no portal")
        << kdeWayland << QStringLiteral("xcb") << 0u << false << Road::xtest
        << QStringLiteral("X11 applications only");
    QTest::newRow("Wayland client, portal")
        << swayWithoutXwayland << QStringLiteral("wayland") << 2u << false
        << Road::remoteDesktopPortal << QStringLiteral("allow");
    QTest::newRow("Wayland client, no portal")
        << swayWithoutXwayland << QStringLiteral("wayland") << 0u << false << Road::none
        << QStringLiteral("no RemoteDesktop portal");
    // The portal is asked about on Wayland only; an X11 session keeps XTest.
    QTest::newRow("X11 session, portal answers") << x11Openbox << QStringLiteral("xcb") << 2u
                                                 << false << Road::xtest << QStringLiteral("XTest");
    // wlroots gives the virtual keyboard to any client of the session; it
    // reaches Wayland windows, which XTest under XWayland does not. A
    // RemoteDesktop portal there is another desktop's backend, which fails.
    QTest::newRow("sway, XWayland, virtual keyboard")
        << swayWithXwayland << QStringLiteral("xcb") << 0u << true << Road::virtualKeyboard
        << QStringLiteral("Wayland or X11");
    QTest::newRow("sway, Wayland client, virtual keyboard")
        << swayWithoutXwayland << QStringLiteral("wayland") << 0u << true << Road::virtualKeyboard
        << QStringLiteral("virtual-keyboard protocol");
    QTest::newRow("sway, portal and virtual keyboard")
        << swayWithXwayland << QStringLiteral("xcb") << 2u << true << Road::virtualKeyboard
        << QStringLiteral("virtual-keyboard protocol");
    QTest::newRow("KDE, portal and virtual keyboard")
        << kdeWayland << QStringLiteral("xcb") << 2u << true << Road::remoteDesktopPortal
        << QStringLiteral("RemoteDesktop");
    QTest::newRow("X11 session, virtual keyboard answers")
        << x11Openbox << QStringLiteral("xcb") << 0u << true << Road::xtest
        << QStringLiteral("XTest");
    QTest::newRow("offscreen on Wayland, portal")
        << swayWithoutXwayland << QStringLiteral("offscreen") << 2u << false << Road::none
        << QStringLiteral("no display");
}

void DesktopSessionTest::waylandKeysTakeARoadThatReachesWaylandWindows()
{
    QFETCH(DesktopEnvironment, environment);
    QFETCH(QString, qtPlatform);
    QFETCH(uint, portal);
    QFETCH(bool, virtualKeyboard);
    QFETCH(Session::KeySynthesisMethod, road);
    QFETCH(QString, reasonNames);
    DesktopProbes probes = qtPlatform == QLatin1String("xcb") ? x11Probes() : DesktopProbes{};
    probes.qtPlatform = qtPlatform;
    probes.remoteDesktopPortalVersion = portal;
    probes.virtualKeyboardProtocol = virtualKeyboard;
    const Session session = Session::decide(environment, probes);
    QCOMPARE(session.keySynthesis.method, road);
    QVERIFY2(session.keySynthesis.reason.contains(reasonNames),
             qPrintable(session.keySynthesis.reason));
    QCOMPARE(session.remoteDesktopConsentKept,
             road == Session::KeySynthesisMethod::remoteDesktopPortal && portal >= 2);
    if (road == Session::KeySynthesisMethod::remoteDesktopPortal)
        QCOMPARE(Session::name(road), QStringLiteral("RemoteDesktop portal"));

    // Where Mutter offers its own remote desktop interface (GNOME), it goes
    // before the portal, which would ask; no other desktop takes it.
    probes.mutterRemoteDesktop = true;
    const Session withMutter = Session::decide(environment, probes);
    if (withMutter.family == Session::Family::gnome && road != Session::KeySynthesisMethod::none)
        QCOMPARE(withMutter.keySynthesis.method, Session::KeySynthesisMethod::mutterRemoteDesktop);
    else
        QCOMPARE(withMutter.keySynthesis.method, road);
}

void DesktopSessionTest::windowTrackingTellsWhoKnowsTheFocus_data()
{
    QTest::addColumn<DesktopEnvironment>("environment");
    QTest::addColumn<QString>("qtPlatform");
    QTest::addColumn<bool>("compositorAnswers");
    QTest::addColumn<Session::WindowTrackingMethod>("road");
    QTest::addColumn<QString>("reasonNames");

    using Road = Session::WindowTrackingMethod;
    const QString xcb = QStringLiteral("xcb");
    const QString wayland = QStringLiteral("wayland");
    QTest::newRow("X11 window manager")
        << x11Openbox << xcb << false << Road::x11WindowManager << QStringLiteral("EWMH");
    // sway's tree holds Wayland and XWayland windows; the X11 road would see
    // the latter only.
    QTest::newRow("sway, XWayland client") << swayWithXwayland << xcb << true << Road::swayIpc
                                           << QStringLiteral("Wayland and X11 alike");
    DesktopEnvironment swayNative = swayWithoutXwayland;
    swayNative.swaySocket = swayWithXwayland.swaySocket;
    QTest::newRow("sway, Wayland client")
        << swayNative << wayland << true << Road::swayIpc << QStringLiteral("SWAYSOCK");
    QTest::newRow("sway's socket silent")
        << swayWithXwayland << xcb << false << Road::x11WindowManager
        << QStringLiteral("SWAYSOCK=/run/user/1000/sway-ipc.1000.42.sock does not answer");
    QTest::newRow("GNOME tells no client the focus")
        << gnomeWayland << xcb << false << Road::x11WindowManager
        << QStringLiteral("Wayland ones are not");
    DesktopEnvironment kdeNative = kdeWayland;
    kdeNative.requestedQtPlatform = wayland;
    QTest::newRow("KDE, Wayland client")
        << kdeNative << wayland << false << Road::none << QStringLiteral("no XWayland");
    // KWin runs a script that tells its windows, for either kind of client.
    QTest::newRow("KDE, XWayland client, KWin answers")
        << kdeWayland << xcb << true << Road::kwinScript << QStringLiteral("Wayland and X11 alike");
    QTest::newRow("KDE, Wayland client, KWin answers")
        << kdeNative << wayland << true << Road::kwinScript << QStringLiteral("KWin script");
    // i3 answers the same protocol on X11, where EWMH already tells.
    QTest::newRow("IPC in an X11 session")
        << x11Openbox << xcb << true << Road::x11WindowManager << QStringLiteral("EWMH");
    QTest::newRow("offscreen on sway") << swayWithXwayland << QStringLiteral("offscreen") << true
                                       << Road::none << QStringLiteral("no display");
}

void DesktopSessionTest::windowTrackingTellsWhoKnowsTheFocus()
{
    QFETCH(DesktopEnvironment, environment);
    QFETCH(QString, qtPlatform);
    QFETCH(bool, compositorAnswers);
    QFETCH(Session::WindowTrackingMethod, road);
    QFETCH(QString, reasonNames);
    DesktopProbes probes = qtPlatform == QLatin1String("xcb") ? x11Probes() : DesktopProbes{};
    probes.qtPlatform = qtPlatform;
    // sway answers on its socket; KWin on the bus.
    probes.swayIpc = compositorAnswers && !environment.swaySocket.isEmpty();
    probes.kwinScripting = compositorAnswers && environment.swaySocket.isEmpty();
    const Session session = Session::decide(environment, probes);
    QCOMPARE(session.windowTracking.method, road);
    QVERIFY2(session.windowTracking.reason.contains(reasonNames),
             qPrintable(session.windowTracking.reason));
    // Off sway, nothing said of a desktop speaks of sway's ways.
    if (Session::decide(environment, probes).family != Session::Family::wlroots) {
        for (const QString &reason : {session.windowTracking.reason, session.client.reason})
            QVERIFY2(!reason.contains(QStringLiteral("sway")) &&
                         !reason.contains(QStringLiteral("tiled")),
                     qPrintable(reason));
    }

    // An X server that does not answer tells nothing either.
    if (road == Session::WindowTrackingMethod::x11WindowManager) {
        probes.x11Reachable = false;
        QCOMPARE(Session::decide(environment, probes).windowTracking.method,
                 Session::WindowTrackingMethod::none);
    }
}

QTEST_GUILESS_MAIN(DesktopSessionTest)
#include "test_desktop_session.moc"
