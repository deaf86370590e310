#include "platform/linux/shortcuts/LinuxGlobalShortcuts.h"

#include "core/settings/UserDefaults.h"
#include "platform/linux/notifications/DesktopNotifications.h"
#include "platform/linux/shortcuts/KGlobalAccelShortcutBackend.h"
#include "platform/linux/shortcuts/PortalShortcutBackend.h"
#include "platform/linux/shortcuts/SettingsGlobalShortcutService.h"
#include "platform/linux/shortcuts/UnavailableShortcutBackend.h"
#include "platform/linux/shortcuts/X11KeyGrabber.h"

namespace {

std::unique_ptr<ShortcutBackend> chooseBackend(const DesktopSession &session)
{
    // X11 grabs would fire only while an XWayland window has the focus.
    if (session.kind == DesktopSession::Kind::wayland) {
        if (session.shortcut.road == DesktopSession::ShortcutRoad::kdeGlobalAccel)
            return std::make_unique<KGlobalAccelShortcutBackend>();
        if (session.shortcut.road == DesktopSession::ShortcutRoad::portal)
            return std::make_unique<PortalShortcutBackend>();
        return std::make_unique<UnavailableShortcutBackend>();
    }
    auto grabber = std::make_unique<X11KeyGrabber>();
    if (grabber->isAvailable())
        return grabber;
    return std::make_unique<UnavailableShortcutBackend>();
}

} // namespace

std::shared_ptr<GlobalShortcutService>
createLinuxGlobalShortcutService(const DesktopSession &session)
{
    return std::make_shared<SettingsGlobalShortcutService>(
        chooseBackend(session), UserDefaults::standardFilePath(), &DesktopNotifications::show);
}
