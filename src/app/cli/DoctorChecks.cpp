#include "cli/DoctorCommand.h"
#include "core/desktop/CommandKeybindingService.h"
#include "platform/linux/accessibility/AtspiBusTrust.h"
#include "platform/linux/desktops/DesktopProfile.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"
#include "platform/linux/session/DesktopSession.h"
#include "platform/linux/x11/X11Desktop.h"
#include "platform/linux/x11/XTestKeyboard.h"

#include <QFile>
#include <QGuiApplication>
#include <QSystemTrayIcon>

namespace {

using Check = DoctorCheck;

bool hasGui()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr;
}

Check displayServer(X11Desktop &x11Desktop)
{
    const QString x11 = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty() && !x11.isEmpty())
        return {QStringLiteral("Display server"),
                QStringLiteral("Wayland (%1) with XWayland (%2); the methods below say what "
                               "reaches which applications")
                    .arg(wayland, x11),
                true, true};
    if (!x11.isEmpty() && hasGui() && x11Desktop.isAvailable())
        return {QStringLiteral("Display server"), QStringLiteral("X11 (%1)").arg(x11), true, true};
    if (!x11.isEmpty())
        return {QStringLiteral("Display server"),
                QStringLiteral("X11 display %1 cannot be reached").arg(x11), true, false};
    if (!wayland.isEmpty())
        return {QStringLiteral("Display server"),
                QStringLiteral("Wayland (%1) without XWayland: Wrenlark runs as a Wayland client")
                    .arg(wayland),
                true, true};
    return DoctorChecks::noDisplayServer();
}

Check windowManager(const DesktopSession &session, X11Desktop &desktop)
{
    const QString name = QStringLiteral("Window manager");
    // XWayland's window manager tells nothing; the compositor's IPC does.
    if (session.windowTracking.method == DesktopSession::WindowTrackingMethod::swayIpc)
        return {name, QStringLiteral("sway (windows tracked over its IPC)"), true, true};
    if (session.windowTracking.method == DesktopSession::WindowTrackingMethod::kwinScript)
        return {name, QStringLiteral("KWin (windows tracked by a KWin script)"), true, true};
    if (!hasGui() || !desktop.isAvailable())
        return {name, QStringLiteral("unknown (no X11 display)"), true, false};
    const QString wm = desktop.windowManagerName();
    if (wm.isEmpty())
        return {name,
                QStringLiteral("none announced (no EWMH): the source application cannot "
                               "be told or brought back"),
                true, false};
    if (!desktop.supportsActiveWindowHint())
        return {name, QStringLiteral("%1, without the EWMH active window or process ids").arg(wm),
                true, false};
    return {name, QStringLiteral("%1 (EWMH: active window, process ids, activation)").arg(wm), true,
            true};
}

Check accessibilityBus()
{
    const QString name = QStringLiteral("AT-SPI accessibility bus");
    if (AtspiBusTrust().isTrusted())
        return {name, QStringLiteral("enabled"), true, true};
    return {name,
            QStringLiteral("disabled: selections are read through the clipboard only; Wrenlark "
                           "switches it on when it first reads a selection"),
            true, false};
}

Check xtest(const DesktopSession &session, X11Desktop &x11)
{
    const QString name = QStringLiteral("XTest (synthesized copy and paste keys)");
    if (hasGui() && XTestKeyboard(x11).isAvailable())
        return {name, QStringLiteral("available"), true, true};
    if (session.keySynthesis.method == DesktopSession::KeySynthesisMethod::mutterRemoteDesktop ||
        session.keySynthesis.method == DesktopSession::KeySynthesisMethod::remoteDesktopPortal ||
        session.keySynthesis.method == DesktopSession::KeySynthesisMethod::virtualKeyboard)
        return {name,
                QStringLiteral("missing: the %1 types the keys")
                    .arg(DesktopSession::name(session.keySynthesis.method)),
                false, false};
    return {name, QStringLiteral("missing: the clipboard fallback cannot copy or paste"), true,
            false};
}

Check trayHost()
{
    const QString name = QStringLiteral("Tray host");
    if (hasGui() && QSystemTrayIcon::isSystemTrayAvailable())
        return {name, QStringLiteral("available"), false, true};
    return {name, QStringLiteral("none: the status menu is not shown; use the global shortcut"),
            false, false};
}

QString variables(const QList<std::pair<const char *, QString>> &values)
{
    QStringList set;
    for (const auto &[name, value] : values) {
        if (!value.isEmpty())
            set << QStringLiteral("%1=%2").arg(QLatin1String(name), value);
    }
    return set.isEmpty() ? QStringLiteral("none of its variables set") : set.join(u", ");
}

// The session and the method each capability takes in it, with the reason.
QList<Check> sessionChoices(const DesktopSession &session)
{
    using Session = DesktopSession;
    const DesktopEnvironment environment = DesktopEnvironment::fromProcess();
    const QString kind = QStringLiteral("%1 (%2)").arg(
        Session::name(session.kind), variables({{"XDG_SESSION_TYPE", environment.sessionType},
                                                {"WAYLAND_DISPLAY", environment.waylandDisplay},
                                                {"DISPLAY", environment.display}}));
    const QString desktop =
        session.desktopName.isEmpty()
            ? QStringLiteral("%1 (XDG_CURRENT_DESKTOP is not set)")
                  .arg(Session::name(session.family))
            : QStringLiteral("%1 (%2)").arg(Session::name(session.family), session.desktopName);
    const auto line = [](const QString &method, const QString &reason) {
        return QStringLiteral("%1: %2").arg(method, reason);
    };
    return {
        {QStringLiteral("Session"), kind, false, session.kind != Session::Kind::unknown},
        {QStringLiteral("Desktop"), desktop, false, true},
        {QStringLiteral("Wrenlark runs as"),
         line(Session::name(session.client.method), session.client.reason), false,
         session.client.method != Session::Client::none},
        {QStringLiteral("Key synthesis"),
         line(Session::name(session.keySynthesis.method), session.keySynthesis.reason), false,
         session.keySynthesis.method != Session::KeySynthesisMethod::none},
        {QStringLiteral("Region capture"),
         line(Session::name(session.capture.method), session.capture.reason), false,
         session.capture.method != Session::CaptureMethod::none},
        {QStringLiteral("Primary selection"),
         line(Session::name(session.primarySelection.method), session.primarySelection.reason),
         false, true},
        {QStringLiteral("Window tracking"),
         line(Session::name(session.windowTracking.method), session.windowTracking.reason), false,
         session.windowTracking.method != Session::WindowTrackingMethod::none},
        {QStringLiteral("Clipboard reaches"),
         line(Session::name(session.clipboardReach.method), session.clipboardReach.reason), false,
         true},
    };
}

// A shortcut in the desktop's own keyboard settings (GNOME's) that runs
// `wrenlark toggle`.
QList<Check> desktopKeybinding(const DesktopSession &session)
{
    const auto keybinding = DesktopProfile::of(session.family).commandKeybinding();
    if (!keybinding)
        return {};
    const QString desktop = DesktopSession::name(session.family);
    const QString name = QStringLiteral("%1 keyboard shortcut").arg(desktop);
    if (!keybinding->isAvailable())
        return {
            {name,
             QStringLiteral("unknown (%1's keyboard settings cannot be read here)").arg(desktop),
             false, false}};
    const std::optional<QString> binding = keybinding->installedBinding();
    if (!binding)
        return {{name,
                 QStringLiteral("none runs `wrenlark toggle` (Wrenlark's Settings can add one)"),
                 false, false}};
    const QString made = keybinding->isOwnBinding() ? QStringLiteral("added by Wrenlark")
                                                    : QStringLiteral("made by you");
    // The desktop's own action on the same key wins: the shortcut never fires.
    if (const std::optional<QString> use = keybinding->desktopUseOf(*binding))
        return {{name,
                 QStringLiteral("%1 is meant to run `wrenlark toggle` (%2), but %3 uses %1 "
                                "itself (%4), so it does not; choose another key in Wrenlark's "
                                "Settings")
                     .arg(*binding, made, desktop, *use),
                 false, false}};
    return {
        {name, QStringLiteral("%1 runs `wrenlark toggle` (%2)").arg(*binding, made), false, true}};
}

Check globalShortcutRoute(const DesktopSession &session)
{
    const QString name = QStringLiteral("Global shortcut");
    switch (session.shortcut.method) {
    case DesktopSession::ShortcutMethod::x11Grab:
        return {name, session.shortcut.reason, false, true};
    case DesktopSession::ShortcutMethod::kdeGlobalAccel:
    case DesktopSession::ShortcutMethod::portal:
        return {name, DesktopSession::name(session.shortcut.method), false, true};
    case DesktopSession::ShortcutMethod::bindCommand:
        break;
    }
    return {name, QStringLiteral("none here; ") + session.shortcut.reason, false, false};
}

// Whether the user's consent to the portal's keys is kept from an earlier run.
QList<Check> remoteDesktopConsent(const DesktopSession &session)
{
    if (session.keySynthesis.method != DesktopSession::KeySynthesisMethod::remoteDesktopPortal)
        return {};
    if (session.remoteDesktopGrantedUnasked)
        return {{QStringLiteral("RemoteDesktop consent"),
                 QStringLiteral("not asked: %1's portal grants the keys")
                     .arg(DesktopSession::name(session.family)),
                 false, true}};
    if (!session.remoteDesktopConsentKept)
        return {{QStringLiteral("RemoteDesktop consent"),
                 QStringLiteral("asked each time Wrenlark starts, at the first copy or paste: "
                                "version 1 of the desktop's portal keeps no permission"),
                 false, true}};
    const bool kept = QFile::exists(RemoteDesktopPortalKeys::defaultTokenFile());
    return {{QStringLiteral("RemoteDesktop consent"),
             kept ? QStringLiteral("kept from an earlier session (%1)")
                        .arg(RemoteDesktopPortalKeys::defaultTokenFile())
                  : QStringLiteral("not given yet: the desktop asks on the first copy or paste"),
             false, true}};
}

} // namespace

int DoctorChecks::run(const std::shared_ptr<SecretStore> &secrets)
{
    X11Desktop x11;
    const DesktopSession session = DesktopSession::current(x11);
    QList<Check> checks{displayServer(x11)};
    checks += sessionChoices(session);
    checks +=
        {windowManager(session, x11),           accessibilityBus(), xtest(session, x11),
         DoctorChecks::secretService(*secrets), trayHost(),         globalShortcutRoute(session),
         DoctorChecks::shortcutPortal()};
    checks += remoteDesktopConsent(session);
    checks += desktopKeybinding(session);
    checks += DoctorChecks::runningApplication();
    checks += DoctorChecks::providerProxy(secrets);
    return DoctorChecks::print(checks);
}
