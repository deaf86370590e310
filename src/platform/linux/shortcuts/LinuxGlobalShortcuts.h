#pragma once

#include "core/desktop/GlobalShortcutService.h"
#include "platform/linux/session/DesktopSession.h"

#include <memory>

// The global shortcuts of this desktop (`session.shortcut`): X11 key grabs
// on an X11 session, the GlobalShortcuts portal on a Wayland session that
// offers it, otherwise a service that says how to bind `wrenlark toggle`
// instead. Over the user's settings file; refusals are shown as desktop
// notifications.
std::shared_ptr<GlobalShortcutService>
createLinuxGlobalShortcutService(const DesktopSession &session);
