#pragma once

#include <QString>

class WaylandWindowExporter;

// The parent_window argument of a portal call, so the desktop can place its
// dialog over the window the user was working in: the application's active
// window as "x11:<hex XID>" under X11, "wayland:<handle>" exported through
// xdg-foreign under Wayland. Empty when no window of ours is active or the
// compositor cannot export it.
QString portalParentWindow(WaylandWindowExporter &exporter);
