#include "platform/linux/session/DesktopSession.h"

#include "platform/linux/capture/PortalScreenCaptureService.h"
#include "platform/linux/clipboard/DataControlClipboard.h"
#include "platform/linux/desktops/DesktopProfile.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"
#include "platform/linux/keys/VirtualKeyboardKeys.h"
#include "platform/linux/shortcuts/PortalShortcutBackend.h"
#include "platform/linux/wayland/WaylandGlobals.h"
#include "platform/linux/x11/X11Desktop.h"
#include "platform/linux/x11/XTestKeyboard.h"

#include <QGuiApplication>
#include <QStringList>

namespace {

// Set when this process chose QT_QPA_PLATFORM itself.
bool platformChosenHere = false;

using Kind = DesktopSession::Kind;
using Family = DesktopSession::Family;
using Client = DesktopSession::Client;

DesktopSession::Kind sessionKind(const DesktopEnvironment &environment)
{
    if (!environment.waylandDisplay.isEmpty() ||
        environment.sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0)
        return Kind::wayland;
    if (!environment.display.isEmpty() ||
        environment.sessionType.compare(QLatin1String("x11"), Qt::CaseInsensitive) == 0)
        return Kind::x11;
    return Kind::unknown;
}

// The plugin Qt runs (or will run) on: the probe when this process has a
// GUI, otherwise what the resident application would ask for.
QString qtPlatformOf(const DesktopEnvironment &environment, const DesktopProbes &probes)
{
    if (!probes.qtPlatform.isEmpty())
        return probes.qtPlatform;
    if (!environment.requestedQtPlatform.isEmpty())
        return environment.requestedQtPlatform.section(u';', 0, 0);
    if (const QByteArray preferred = DesktopSession::preferredQtPlatform(environment);
        !preferred.isEmpty())
        return QString::fromLatin1(preferred);
    return environment.waylandDisplay.isEmpty() ? QString() : QStringLiteral("wayland");
}

DesktopSession::Choice<Client> chooseClient(const DesktopEnvironment &environment,
                                            const DesktopProbes &probes, Kind kind,
                                            const DesktopProfile &profile)
{
    const QString platform = qtPlatformOf(environment, probes);
    const QString requested =
        environment.requestedQtPlatform.isEmpty()
            ? QString()
            : QStringLiteral("QT_QPA_PLATFORM=%1 asks for it").arg(environment.requestedQtPlatform);
    if (platform.startsWith(QLatin1String("xcb"))) {
        if (kind != Kind::wayland)
            return {Client::x11, requested.isEmpty() ? QStringLiteral("X11 session") : requested};
        return {Client::xwayland,
                requested.isEmpty()
                    ? QStringLiteral("XWayland is there (DISPLAY=%1): the command bar floats at "
                                     "its own size and takes the focus%2, and the selection and "
                                     "paste services work through X11")
                          .arg(environment.display,
                               profile.tilesWaylandWindows()
                                   ? QStringLiteral(" (a Wayland window is tiled here)")
                                   : QString())
                    : requested};
    }
    if (platform.startsWith(QLatin1String("wayland")))
        return {Client::wayland,
                requested.isEmpty()
                    ? QStringLiteral("no XWayland (DISPLAY is not set): only what works for "
                                     "Wayland clients is available")
                    : requested};
    if (platform.isEmpty())
        return {Client::none,
                QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are not set)")};
    return {Client::none,
            QStringLiteral("Qt's %1 platform shows nothing on the desktop%2")
                .arg(platform, requested.isEmpty() ? QString() : QStringLiteral("; ") + requested)};
}

DesktopSession::Choice<DesktopSession::ShortcutMethod>
chooseShortcut(Kind kind, const DesktopProfile &profile, const DesktopProbes &probes)
{
    using Method = DesktopSession::ShortcutMethod;
    switch (kind) {
    case Kind::x11:
        if (probes.x11Reachable)
            return {Method::x11Grab, QStringLiteral("X11 key grab on the root window")};
        return {Method::bindCommand,
                QStringLiteral("the X server cannot be reached; ") + profile.bindInstructions()};
    case Kind::wayland:
        if (const auto own = profile.ownShortcut(probes))
            return *own;
        if (probes.globalShortcutsPortal)
            return {Method::portal, QStringLiteral("the desktop's portal offers GlobalShortcuts")};
        return {Method::bindCommand,
                QStringLiteral("no GlobalShortcuts portal here, and X11 grabs fire only while an "
                               "XWayland window has the focus; ") +
                    profile.bindInstructions()};
    case Kind::unknown:
        break;
    }
    return {Method::bindCommand, QStringLiteral("no desktop session")};
}

// Version 2 added restore tokens, which keep the permission.
bool keepsRemoteDesktopConsent(const DesktopProbes &probes)
{
    return probes.remoteDesktopPortalVersion >= 2;
}

DesktopSession::Choice<DesktopSession::KeySynthesisMethod> virtualKeyboard()
{
    return {DesktopSession::KeySynthesisMethod::virtualKeyboard,
            QStringLiteral("the compositor offers the virtual-keyboard protocol: the keys reach "
                           "its focused window, Wayland or X11")};
}

DesktopSession::Choice<DesktopSession::KeySynthesisMethod>
chooseKeySynthesis(Kind kind, const DesktopProfile &profile, Client client,
                   const DesktopProbes &probes)
{
    using Method = DesktopSession::KeySynthesisMethod;
    const bool onWayland = kind == Kind::wayland && client != Client::none;
    if (onWayland) {
        if (const auto own = profile.ownKeySynthesis(probes))
            return *own;
        // wlroots: no portal backend of its own offers RemoteDesktop, and one
        // answering there belongs to another desktop (xdg-desktop-portal-gnome
        // installed beside sway refuses every session).
        if (profile.prefersVirtualKeyboard() && probes.virtualKeyboardProtocol)
            return virtualKeyboard();
    }
    // The compositor types the portal's keys into its focused window, Wayland
    // or X11; XTest under XWayland reaches X11 windows only.
    if (onWayland && probes.remoteDesktopPortalVersion > 0)
        return {Method::remoteDesktopPortal,
                QStringLiteral("the desktop's portal offers RemoteDesktop: the keys reach the "
                               "focused window once you allow it ") +
                    (keepsRemoteDesktopConsent(probes)
                         ? QStringLiteral("(the desktop asks once and keeps the permission)")
                         : QStringLiteral("(version 1 of the portal keeps no permission: the "
                                          "desktop asks each time Wrenlark starts)"))};
    // Elsewhere the portal goes first: it asks the user.
    if (onWayland && probes.virtualKeyboardProtocol)
        return virtualKeyboard();
    const bool overX11 = client == Client::x11 || client == Client::xwayland;
    if (overX11 && probes.xtestAvailable)
        return {Method::xtest, client == Client::xwayland
                                   ? QStringLiteral("XTest through XWayland: the keys reach X11 "
                                                    "applications only")
                                   : QStringLiteral("XTest")};
    if (overX11)
        return {Method::none, QStringLiteral("the X server has no XTest extension: copy and paste "
                                             "keys cannot be sent")};
    if (client == Client::wayland)
        return {Method::none, QStringLiteral("no RemoteDesktop portal or virtual-keyboard "
                                             "protocol here, and XTest needs XWayland: copy and "
                                             "paste keys cannot be sent")};
    return {Method::none, QStringLiteral("no display")};
}

DesktopSession::Choice<DesktopSession::CaptureMethod> chooseCapture(Kind kind, Client client,
                                                                    const DesktopProbes &probes)
{
    using Method = DesktopSession::CaptureMethod;
    if (client == Client::none)
        return {Method::none, QStringLiteral("no display")};
    if (kind != Kind::wayland)
        return {Method::x11Grab, QStringLiteral("the X server's screen")};
    // The portal runs only what a backend for this desktop serves.
    if (probes.screenshotPortal.has_value() && !*probes.screenshotPortal)
        return {Method::none,
                QStringLiteral("no desktop portal offers screenshots (xdg-desktop-portal "
                               "and its backend for this desktop are needed)")};
    // XWayland's root window holds X11 windows only: a grab of it shows
    // the Wayland windows as black.
    return {Method::screenshotPortal,
            client == Client::xwayland
                ? QStringLiteral("Wayland session: XWayland's screen holds X11 windows only")
                : QStringLiteral("Wayland clients cannot read the screen")};
}

DesktopSession::Choice<DesktopSession::PrimarySelectionMethod> choosePrimarySelection(Client client)
{
    using Method = DesktopSession::PrimarySelectionMethod;
    switch (client) {
    case Client::x11:
        return {Method::x11OwnerChecked,
                QStringLiteral("read when the application the selection is taken from owns it")};
    case Client::xwayland:
        return {Method::x11OwnerChecked,
                QStringLiteral("read when an X11 application the selection is taken from owns "
                               "it; a Wayland application's owner cannot be known, so its "
                               "selection is copied with its copy keystroke")};
    case Client::wayland:
        return {Method::notRead,
                QStringLiteral("a Wayland client cannot learn which application owns the "
                               "primary selection; the selection is copied with the "
                               "application's copy keystroke instead")};
    case Client::none:
        break;
    }
    return {Method::notRead, QStringLiteral("no display")};
}

DesktopSession::Choice<DesktopSession::ClipboardReach>
chooseClipboardReach(const DesktopProfile &profile, Client client, const DesktopProbes &probes)
{
    using Reach = DesktopSession::ClipboardReach;
    if (client == Client::xwayland && profile.pastesThroughDataControl() &&
        probes.dataControlProtocol)
        return {Reach::dataControl,
                QStringLiteral("the compositor hands XWayland's clipboard to Wayland windows "
                               "only while an X11 window has the focus: Wrenlark copies from "
                               "and pastes into them through the Wayland clipboard (the "
                               "data-control protocol)")};
    if (client == Client::xwayland && profile.xwaylandClipboardFollowsFocus())
        return {Reach::x11Windows,
                QStringLiteral("the compositor hands XWayland's clipboard to Wayland windows "
                               "only while an X11 window has the focus: Wrenlark neither copies "
                               "from nor pastes into Wayland windows with keys")};
    return {Reach::allWindows, client == Client::xwayland
                                   ? QStringLiteral("XWayland's clipboard is the compositor's")
                                   : QStringLiteral("one clipboard for every window")};
}

DesktopSession::Choice<DesktopSession::WindowTrackingMethod>
chooseWindowTracking(const DesktopEnvironment &environment, const DesktopProfile &profile,
                     const DesktopProbes &probes, Kind kind, Client client)
{
    using Method = DesktopSession::WindowTrackingMethod;
    const bool overX11 =
        (client == Client::x11 || client == Client::xwayland) && probes.x11Reachable;
    if (kind == Kind::x11 && overX11)
        return {Method::x11WindowManager,
                QStringLiteral("the window manager's active window and process ids (EWMH)")};
    if (kind == Kind::x11)
        return {Method::none, QStringLiteral("the X server cannot be reached: the application you "
                                             "come from is not known")};
    if (kind != Kind::wayland || client == Client::none)
        return {Method::none, QStringLiteral("no display")};
    if (const auto own = profile.ownWindowTracking(probes))
        return *own;
    const QString untold = profile.focusUntold(environment);
    if (overX11)
        return {Method::x11WindowManager,
                untold + QStringLiteral(": only X11 applications (under XWayland) are known and "
                                        "brought back, Wayland ones are not")};
    return {Method::none, untold + QStringLiteral(", and there is no XWayland: the application you "
                                                  "come from is not known")};
}

} // namespace

DesktopEnvironment DesktopEnvironment::fromProcess()
{
    return {
        qEnvironmentVariable("DISPLAY"),
        qEnvironmentVariable("WAYLAND_DISPLAY"),
        qEnvironmentVariable("XDG_SESSION_TYPE"),
        qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
        platformChosenHere ? QString() : qEnvironmentVariable("QT_QPA_PLATFORM"),
        qEnvironmentVariable("SWAYSOCK"),
    };
}

DesktopSession DesktopSession::decide(const DesktopEnvironment &environment,
                                      const DesktopProbes &probes)
{
    const DesktopProfile &profile = DesktopProfile::forEnvironment(environment);
    DesktopSession session;
    session.kind = sessionKind(environment);
    session.family = profile.family();
    session.desktopName = environment.currentDesktop;
    session.client = chooseClient(environment, probes, session.kind, profile);
    session.shortcut = chooseShortcut(session.kind, profile, probes);
    session.keySynthesis = chooseKeySynthesis(session.kind, profile, session.client.method, probes);
    session.capture = chooseCapture(session.kind, session.client.method, probes);
    session.primarySelection = choosePrimarySelection(session.client.method);
    session.clipboardReach = chooseClipboardReach(profile, session.client.method, probes);
    session.remoteDesktopConsentKept =
        session.keySynthesis.method == KeySynthesisMethod::remoteDesktopPortal &&
        keepsRemoteDesktopConsent(probes);
    session.remoteDesktopGrantedUnasked =
        session.keySynthesis.method == KeySynthesisMethod::remoteDesktopPortal &&
        profile.grantsRemoteDesktopUnasked();
    session.windowTracking =
        chooseWindowTracking(environment, profile, probes, session.kind, session.client.method);
    return session;
}

DesktopSession DesktopSession::current(X11Desktop &x11)
{
    const DesktopEnvironment environment = DesktopEnvironment::fromProcess();
    DesktopProbes probes;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        probes.qtPlatform = QGuiApplication::platformName();
        probes.x11Reachable = x11.isAvailable();
        probes.xtestAvailable = probes.x11Reachable && XTestKeyboard(x11).isAvailable();
    }
    if (sessionKind(environment) == Kind::wayland) {
        probes.globalShortcutsPortal = PortalShortcutBackend::isOffered();
        probes.remoteDesktopPortalVersion = RemoteDesktopPortalKeys::offeredVersion();
        probes.screenshotPortal = PortalScreenCaptureService::isOffered();
        // One look at the compositor's globals answers for both protocols.
        if (const auto globals = WaylandGlobals::ofCompositor()) {
            probes.virtualKeyboardProtocol = VirtualKeyboardKeys::isOfferedBy(*globals);
            probes.dataControlProtocol = DataControlClipboard::isOfferedBy(*globals);
        }
        DesktopProfile::forEnvironment(environment).probe(environment, probes);
    }
    return decide(environment, probes);
}

QByteArray DesktopSession::preferredQtPlatform(const DesktopEnvironment &environment)
{
    // Measured on sway 1.7 with Qt 6.4: as a Wayland client the bar is tiled
    // over the whole workspace; under XWayland it floats at its own size and
    // takes the focus. The selection and paste services need X11 as well.
    if (environment.requestedQtPlatform.isEmpty() && !environment.display.isEmpty())
        return QByteArrayLiteral("xcb");
    return {};
}

void DesktopSession::choosePlatformForThisProcess()
{
    if (const QByteArray platform = preferredQtPlatform(DesktopEnvironment::fromProcess());
        !platform.isEmpty()) {
        qputenv("QT_QPA_PLATFORM", platform);
        platformChosenHere = true;
    }
}

QString DesktopSession::name(Kind kind)
{
    switch (kind) {
    case Kind::x11:
        return QStringLiteral("X11");
    case Kind::wayland:
        return QStringLiteral("Wayland");
    case Kind::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString DesktopSession::name(Family family)
{
    switch (family) {
    case Family::gnome:
        return QStringLiteral("GNOME");
    case Family::kde:
        return QStringLiteral("KDE Plasma");
    case Family::wlroots:
        return QStringLiteral("wlroots compositor");
    case Family::other:
        break;
    }
    return QStringLiteral("other");
}

QString DesktopSession::name(Client client)
{
    switch (client) {
    case Client::x11:
        return QStringLiteral("X11 client");
    case Client::xwayland:
        return QStringLiteral("X11 client under XWayland");
    case Client::wayland:
        return QStringLiteral("Wayland client");
    case Client::none:
        break;
    }
    return QStringLiteral("no display client");
}

QString DesktopSession::name(ShortcutMethod method)
{
    switch (method) {
    case ShortcutMethod::x11Grab:
        return QStringLiteral("X11 key grab");
    case ShortcutMethod::kdeGlobalAccel:
        return QStringLiteral("KDE global shortcuts (kglobalaccel)");
    case ShortcutMethod::portal:
        return QStringLiteral("GlobalShortcuts portal");
    case ShortcutMethod::bindCommand:
        break;
    }
    return QStringLiteral("none (bind `wrenlark toggle`)");
}

QString DesktopSession::name(KeySynthesisMethod method)
{
    switch (method) {
    case KeySynthesisMethod::xtest:
        return QStringLiteral("XTest");
    case KeySynthesisMethod::mutterRemoteDesktop:
        return QStringLiteral("Mutter remote desktop");
    case KeySynthesisMethod::remoteDesktopPortal:
        return QStringLiteral("RemoteDesktop portal");
    case KeySynthesisMethod::virtualKeyboard:
        return QStringLiteral("virtual-keyboard protocol");
    case KeySynthesisMethod::none:
        break;
    }
    return QStringLiteral("none");
}

QString DesktopSession::name(CaptureMethod method)
{
    switch (method) {
    case CaptureMethod::x11Grab:
        return QStringLiteral("X11 screen grab");
    case CaptureMethod::screenshotPortal:
        return QStringLiteral("Screenshot portal");
    case CaptureMethod::none:
        break;
    }
    return QStringLiteral("none");
}

QString DesktopSession::name(PrimarySelectionMethod method)
{
    return method == PrimarySelectionMethod::x11OwnerChecked ? QStringLiteral("X11 PRIMARY")
                                                             : QStringLiteral("not read");
}

QString DesktopSession::name(ClipboardReach reach)
{
    switch (reach) {
    case ClipboardReach::x11Windows:
        return QStringLiteral("X11 windows only");
    case ClipboardReach::dataControl:
        return QStringLiteral("every window (Wayland ones through data control)");
    case ClipboardReach::allWindows:
        break;
    }
    return QStringLiteral("every window");
}

QString DesktopSession::name(WindowTrackingMethod method)
{
    switch (method) {
    case WindowTrackingMethod::x11WindowManager:
        return QStringLiteral("X11 window manager");
    case WindowTrackingMethod::swayIpc:
        return QStringLiteral("sway IPC");
    case WindowTrackingMethod::kwinScript:
        return QStringLiteral("KWin script");
    case WindowTrackingMethod::none:
        break;
    }
    return QStringLiteral("none");
}
