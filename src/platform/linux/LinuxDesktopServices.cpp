#include "platform/linux/LinuxDesktopServices.h"

#include "core/support/Logging.h"
#include "platform/linux/DesktopUrlOpener.h"
#include "platform/linux/accessibility/AtspiBusTrust.h"
#include "platform/linux/applications/LinuxRunningApplications.h"
#include "platform/linux/applications/LinuxTargetAppClassifier.h"
#include "platform/linux/applications/X11WindowSource.h"
#include "platform/linux/autostart/XdgAutostartLoginItem.h"
#include "platform/linux/capture/LinuxScreenCapture.h"
#include "platform/linux/capture/PortalScreenCaptureService.h"
#include "platform/linux/clipboard/QtTextClipboard.h"
#include "platform/linux/desktops/DesktopProfile.h"
#include "platform/linux/keys/PortalKeyboardPermission.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"
#include "platform/linux/keys/VirtualKeyboardKeys.h"
#include "platform/linux/keys/XTestKeySynthesizer.h"
#include "platform/linux/replacement/LinuxReplacementService.h"
#include "platform/linux/selection/AtspiWorker.h"
#include "platform/linux/selection/LinuxSelectionService.h"
#include "platform/linux/session/DesktopSession.h"
#include "platform/linux/session/SessionNotices.h"
#include "platform/linux/shortcuts/LinuxGlobalShortcuts.h"
#include "platform/linux/x11/X11PanelWindowSupport.h"

#include <QCoreApplication>
#include <utility>

namespace {

bool setNoGlib = false;

std::shared_ptr<ScreenCaptureService> createCapture(const DesktopSession &session,
                                                    WaylandWindowExporter &exporter)
{
    // Under XWayland too: its screen shows the Wayland windows as black. A
    // portal that offers no screenshots now may start later.
    if (session.kind == DesktopSession::Kind::wayland &&
        session.client.method != DesktopSession::Client::none)
        return std::make_shared<PortalScreenCaptureService>(exporter);
    return createLinuxScreenCapture(exporter);
}

// How keys are typed, and the permission the desktop asks for, where it
// asks for one.
struct KeyTyping
{
    std::shared_ptr<KeySynthesizer> keys;
    std::shared_ptr<KeyboardControlPermission> permission;
};

// The compositor's virtual keyboard (wlroots), where no portal is offered.
// The resident application joins the seat at once: a client that meets a
// keyboard for the first time needs a moment before it takes keys.
std::shared_ptr<KeySynthesizer> virtualKeyboard(LinuxDesktopRole role)
{
    auto keys = std::make_shared<VirtualKeyboardKeys>();
    if (role == LinuxDesktopRole::residentApplication && !keys->isAvailable())
        qCInfo(lcDesktop).noquote()
            << QStringLiteral("Keys: the virtual keyboard is not ready: %1").arg(keys->lastError());
    return keys;
}

// The resident application starts a portal session at once where an
// earlier one left a restore token or the desktop grants it unasked (the
// desktop does not ask then); otherwise the first key request starts it.
KeyTyping portalKeys(LinuxDesktopRole role, const DesktopSession &session)
{
    auto keys = std::make_shared<RemoteDesktopPortalKeys>();
    if (role == LinuxDesktopRole::residentApplication &&
        (keys->hasRestoreToken() || session.remoteDesktopGrantedUnasked))
        keys->startSession();
    qCInfo(lcDesktop).noquote() << QStringLiteral("Keys: typed through the %1%2.")
                                       .arg(keys->mechanismDescription(),
                                            keys->hasRestoreToken()
                                                ? QStringLiteral(", restoring the last session")
                                                : QString());
    auto permission =
        std::make_shared<PortalKeyboardPermission>(keys, session.remoteDesktopConsentKept);
    return {std::move(keys), std::move(permission)};
}

// XTest stays the method on X11; under XWayland its keys reach X11
// windows only.
KeyTyping chooseKeySynthesizer(LinuxDesktopRole role, const DesktopSession &session,
                               const DesktopProfile &profile, X11Desktop &x11)
{
    using Method = DesktopSession::KeySynthesisMethod;
    const bool wayland = session.kind == DesktopSession::Kind::wayland;
    const Method method = wayland ? session.keySynthesis.method : Method::xtest;
    if (method == Method::remoteDesktopPortal)
        return portalKeys(role, session);
    KeyTyping typing;
    if (auto own = profile.keySynthesizer(method))
        typing.keys = std::move(own);
    else if (method == Method::virtualKeyboard)
        typing.keys = virtualKeyboard(role);
    else
        typing.keys =
            std::make_shared<XTestKeySynthesizer>(x11, wayland && method == Method::xtest);
    if (wayland)
        qCInfo(lcDesktop).noquote() << QStringLiteral("Keys: typed through the %1.")
                                           .arg(typing.keys->mechanismDescription());
    return typing;
}

// On a Wayland session only a compositor that says so over its own IPC
// knows the Wayland windows; elsewhere the X11 window manager tells.
std::shared_ptr<RunningApplications> createRunningApplications(const DesktopSession &session,
                                                               const DesktopProfile &profile,
                                                               X11Desktop &x11)
{
    auto x11Windows = [&x11] {
        return std::make_shared<LinuxRunningApplications>(std::make_shared<X11WindowSource>(x11));
    };
    if (session.kind != DesktopSession::Kind::wayland)
        return x11Windows();
    qCInfo(lcDesktop).noquote() << QStringLiteral("Windows: %1, %2.")
                                       .arg(DesktopSession::name(session.windowTracking.method),
                                            session.windowTracking.reason);
    if (auto own =
            profile.windowSource(session.windowTracking.method, DesktopEnvironment::fromProcess()))
        return std::make_shared<LinuxRunningApplications>(std::move(own));
    return x11Windows();
}

} // namespace

void prepareLinuxDesktopProcess()
{
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
        setNoGlib = true;
    }
}

DesktopServices createLinuxDesktopServices(LinuxDesktopConnections &desktop, LinuxDesktopRole role)
{
    // Qt has read it by now; programs started from here get their own choice.
    if (std::exchange(setNoGlib, false))
        qunsetenv("QT_NO_GLIB");
    // Every method from one look at the session: its probes ask the bus, the
    // X server and the compositor.
    const DesktopSession session = DesktopSession::current(desktop.x11);
    const DesktopProfile &profile = DesktopProfile::of(session.family);
    DesktopServices services;
    services.applications = createRunningApplications(session, profile, desktop.x11);
    services.classifier = std::make_shared<LinuxTargetAppClassifier>();
    services.trust = std::make_shared<AtspiBusTrust>();
    services.clipboard = std::make_shared<QtTextClipboard>();
    desktop.clipboard.setHandedToWaylandOnlyWhileFocused(
        session.clipboardReach.method != DesktopSession::ClipboardReach::allWindows);
    services.capture = createCapture(session, desktop.windowExporter);
    KeyTyping typing = chooseKeySynthesizer(role, session, profile, desktop.x11);
    services.panelWindow = std::make_shared<X11PanelWindowSupport>(desktop.x11);
    auto selection = std::make_shared<LinuxSelectionService>(
        desktop, services.applications, services.classifier, services.trust, typing.keys);
    selection->setStrategies({true, session.primarySelection.method ==
                                        DesktopSession::PrimarySelectionMethod::x11OwnerChecked});
    services.selection = std::move(selection);
    services.replacement = std::make_shared<LinuxReplacementService>(
        desktop, services.applications, services.classifier, std::move(typing.keys));
    services.loginItems = std::make_shared<XdgAutostartLoginItem>();
    services.urlOpener = std::make_shared<DesktopUrlOpener>();
    if (role == LinuxDesktopRole::residentApplication) {
        services.shortcuts = createLinuxGlobalShortcutService(session);
        if (auto keybinding = profile.commandKeybinding(); keybinding && keybinding->isAvailable())
            services.commandKeybinding = std::move(keybinding);
        services.notices =
            SessionNotices::forSession(session, services.commandKeybinding != nullptr);
        services.keyboardPermission = std::move(typing.permission);
    }
    if (!desktop.atspi.ownsDefaultContext())
        qCInfo(lcDesktop).noquote()
            << QStringLiteral("AT-SPI shares the GLib context with Qt; call "
                              "prepareLinuxDesktopProcess() before the QApplication.");
    return services;
}
