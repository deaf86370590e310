// What the user is told a desktop lacks: said where something is missing,
// silent where the road is complete, and never an instruction where the
// setup window offers the shortcut itself.
#include "platform/linux/session/SessionNotices.h"

#include <QTest>

namespace {

using Session = DesktopSession;

DesktopSession sessionOf(const QString &display, const QString &waylandDisplay,
                         const QString &currentDesktop, const DesktopProbes &probes)
{
    const DesktopEnvironment environment{display,
                                         waylandDisplay,
                                         waylandDisplay.isEmpty() ? QStringLiteral("x11")
                                                                  : QStringLiteral("wayland"),
                                         currentDesktop,
                                         {},
                                         {}};
    return Session::decide(environment, probes);
}

DesktopProbes xwaylandProbes()
{
    DesktopProbes probes;
    probes.qtPlatform = QStringLiteral("xcb");
    probes.x11Reachable = true;
    probes.xtestAvailable = true;
    return probes;
}

} // namespace

class SessionNoticesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void completeX11DesktopSaysNothing()
    {
        const DesktopNotices notices = SessionNotices::forSession(
            sessionOf(QStringLiteral(":0"), {}, QStringLiteral("XFCE"), xwaylandProbes()), false);
        QVERIFY(notices.shortcut.isEmpty());
        QVERIFY(notices.capabilities.isEmpty());
    }

    void shortcutInstructionsNameTheCommandForTheDesktop()
    {
        const auto sway =
            SessionNotices::forSession(sessionOf(QStringLiteral(":1"), QStringLiteral("wayland-1"),
                                                 QStringLiteral("sway"), xwaylandProbes()),
                                       false);
        QVERIFY(sway.shortcut.contains(QStringLiteral("bindsym")));
        QVERIFY(sway.shortcut.contains(QStringLiteral("`wrenlark toggle`")));

        const DesktopSession gnome = sessionOf(QStringLiteral(":0"), QStringLiteral("wayland-0"),
                                               QStringLiteral("GNOME"), xwaylandProbes());
        QVERIFY(SessionNotices::forSession(gnome, false)
                    .shortcut.contains(QStringLiteral("custom shortcut running")));
        // The setup window's button takes the place of the instructions.
        QVERIFY(SessionNotices::forSession(gnome, true).shortcut.isEmpty());

        DesktopProbes portal = xwaylandProbes();
        portal.globalShortcutsPortal = true;
        QVERIFY(
            SessionNotices::forSession(sessionOf(QStringLiteral(":1"), QStringLiteral("wayland-0"),
                                                 QStringLiteral("KDE"), portal),
                                       false)
                .shortcut.isEmpty());
    }

    void missingKeysAreSaid()
    {
        // XTest through XWayland reaches X11 applications only.
        const auto xwayland =
            SessionNotices::forSession(sessionOf(QStringLiteral(":1"), QStringLiteral("wayland-1"),
                                                 QStringLiteral("KDE"), xwaylandProbes()),
                                       false);
        QCOMPARE(xwayland.capabilities.size(), 1);
        QVERIFY(xwayland.capabilities.first().contains(QStringLiteral("X11 applications only")));

        DesktopProbes native;
        native.qtPlatform = QStringLiteral("wayland");
        const auto wayland = SessionNotices::forSession(
            sessionOf({}, QStringLiteral("wayland-1"), QStringLiteral("sway"), native), false);
        QCOMPARE(wayland.capabilities.size(), 1);
        QVERIFY(wayland.capabilities.first().contains(QStringLiteral("cannot type")));
        QVERIFY(wayland.capabilities.first().contains(QStringLiteral("clipboard")));

        DesktopProbes remote = xwaylandProbes();
        remote.remoteDesktopPortalVersion = 2;
        const auto gnome =
            SessionNotices::forSession(sessionOf(QStringLiteral(":0"), QStringLiteral("wayland-0"),
                                                 QStringLiteral("GNOME"), remote),
                                       true);
        QCOMPARE(gnome.capabilities.size(), 1);
        QVERIFY(gnome.capabilities.first().contains(QStringLiteral("asks once")));
        // GNOME 43's portal is version 1: it asks at every start.
        remote.remoteDesktopPortalVersion = 1;
        const auto gnome43 =
            SessionNotices::forSession(sessionOf(QStringLiteral(":0"), QStringLiteral("wayland-0"),
                                                 QStringLiteral("GNOME"), remote),
                                       true);
        QVERIFY(gnome43.capabilities.first().contains(QStringLiteral("each time Wrenlark starts")));
        // Plasma's portal grants the keys unasked, whatever its version.
        const auto plasma =
            SessionNotices::forSession(sessionOf(QStringLiteral(":1"), QStringLiteral("wayland-0"),
                                                 QStringLiteral("KDE"), remote),
                                       false);
        QVERIFY2(plasma.capabilities.isEmpty(), qPrintable(plasma.capabilities.join(u'|')));
    }

    // On Wayland a region is captured through the portal only; where it
    // offers no screenshots that is said. On sway under XWayland the keys
    // reach every window, but the clipboard Wayland windows only while an
    // X11 window has the focus: that is said too.
    void missingScreenCaptureAndClipboardAreSaid()
    {
        DesktopProbes sway = xwaylandProbes();
        sway.virtualKeyboardProtocol = true;
        sway.screenshotPortal = false;
        const auto without =
            SessionNotices::forSession(sessionOf(QStringLiteral(":1"), QStringLiteral("wayland-1"),
                                                 QStringLiteral("sway"), sway),
                                       false);
        QCOMPARE(without.capabilities.size(), 2);
        QVERIFY(without.capabilities.at(0).contains(QStringLiteral("through accessibility only")));
        QVERIFY(without.capabilities.at(1).contains(QStringLiteral("screen region")));
        QVERIFY(without.capabilities.at(1).contains(QStringLiteral("xdg-desktop-portal-wlr")));

        sway.screenshotPortal = true;
        QCOMPARE(
            SessionNotices::forSession(sessionOf(QStringLiteral(":1"), QStringLiteral("wayland-1"),
                                                 QStringLiteral("sway"), sway),
                                       false)
                .capabilities.size(),
            1);
        // A Wayland client's clipboard is the compositor's own.
        DesktopProbes native;
        native.qtPlatform = QStringLiteral("wayland");
        native.virtualKeyboardProtocol = true;
        native.screenshotPortal = true;
        QVERIFY(
            SessionNotices::forSession(
                sessionOf({}, QStringLiteral("wayland-1"), QStringLiteral("sway"), native), false)
                .capabilities.isEmpty());

        // X11 grabs its own screen, whatever a portal says.
        DesktopProbes x11 = xwaylandProbes();
        x11.screenshotPortal = false;
        QVERIFY(SessionNotices::forSession(
                    sessionOf(QStringLiteral(":0"), {}, QStringLiteral("XFCE"), x11), false)
                    .capabilities.isEmpty());
    }
};

QTEST_GUILESS_MAIN(SessionNoticesTest)
#include "test_session_notices.moc"
