#pragma once

#include <QString>

// The parent_window argument of a portal call, so the desktop can place its
// dialog over the window the user was working in: the application's active
// window as "x11:<hex XID>" under X11. Empty when no window of ours is
// active, and always under Wayland, where the portal expects a handle
// exported through xdg-foreign, which Qt 6.4 offers no public way to make.
QString portalParentWindow();
