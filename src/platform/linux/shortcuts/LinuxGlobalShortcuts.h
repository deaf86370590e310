#pragma once

#include "core/desktop/GlobalShortcutService.h"

#include <memory>

// The global shortcuts of this desktop: X11 key grabs on an X11 session, the
// GlobalShortcuts portal on a Wayland session that offers it, otherwise a
// service that says how to bind `wrenlark toggle` instead. Over the user's
// settings file; refusals are shown as desktop notifications.
std::shared_ptr<GlobalShortcutService> createLinuxGlobalShortcutService();

// Whether this session is a Wayland one (X11 grabs would then fire only
// while an Xwayland window has focus, so they are never used there).
bool isWaylandSession();
