#include "platform/linux/shortcuts/LinuxGlobalShortcuts.h"

#include "core/settings/UserDefaults.h"
#include "platform/linux/notifications/DesktopNotifications.h"
#include "platform/linux/session/DesktopSession.h"
#include "platform/linux/shortcuts/PortalShortcutBackend.h"
#include "platform/linux/shortcuts/SettingsGlobalShortcutService.h"
#include "platform/linux/shortcuts/UnavailableShortcutBackend.h"
#include "platform/linux/shortcuts/X11KeyGrabber.h"

bool isWaylandSession()
{
    return DesktopSession::decide(DesktopEnvironment::fromProcess(), {}).kind ==
           DesktopSession::Kind::wayland;
}

namespace {

std::unique_ptr<ShortcutBackend> chooseBackend()
{
    if (isWaylandSession()) {
        if (PortalShortcutBackend::isOffered())
            return std::make_unique<PortalShortcutBackend>();
        return std::make_unique<UnavailableShortcutBackend>();
    }
    auto grabber = std::make_unique<X11KeyGrabber>();
    if (grabber->isAvailable())
        return grabber;
    return std::make_unique<UnavailableShortcutBackend>();
}

} // namespace

std::shared_ptr<GlobalShortcutService> createLinuxGlobalShortcutService()
{
    return std::make_shared<SettingsGlobalShortcutService>(
        chooseBackend(), UserDefaults::standardFilePath(), &DesktopNotifications::show);
}
