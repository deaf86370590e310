#include "platform/linux/shortcuts/LinuxGlobalShortcuts.h"

#include "core/settings/UserDefaults.h"
#include "platform/linux/desktops/DesktopProfile.h"
#include "platform/linux/notifications/DesktopNotifications.h"
#include "platform/linux/shortcuts/PortalShortcutBackend.h"
#include "platform/linux/shortcuts/SettingsGlobalShortcutService.h"
#include "platform/linux/shortcuts/UnavailableShortcutBackend.h"
#include "platform/linux/shortcuts/X11KeyGrabber.h"

namespace {

std::unique_ptr<ShortcutBackend> chooseBackend(const DesktopSession &session)
{
    if (auto own = DesktopProfile::of(session.family).shortcutBackend(session.shortcut.method))
        return own;
    switch (session.shortcut.method) {
    case DesktopSession::ShortcutMethod::x11Grab:
        if (auto grabber = std::make_unique<X11KeyGrabber>(); grabber->isAvailable())
            return grabber;
        break;
    case DesktopSession::ShortcutMethod::portal:
        return std::make_unique<PortalShortcutBackend>();
    case DesktopSession::ShortcutMethod::kdeGlobalAccel:
    case DesktopSession::ShortcutMethod::bindCommand:
        break;
    }
    return std::make_unique<UnavailableShortcutBackend>();
}

} // namespace

std::shared_ptr<GlobalShortcutService>
createLinuxGlobalShortcutService(const DesktopSession &session)
{
    return std::make_shared<SettingsGlobalShortcutService>(
        chooseBackend(session), UserDefaults::standardFilePath(), &DesktopNotifications::show);
}
