#pragma once

#include <QString>

class QWindow;

// A window of ours exported through the compositor's xdg-foreign protocol
// (zxdg_exporter_v2), so another client, the desktop portal, can place its
// dialog over it: the handle to pass as "wayland:<handle>". Only windows of
// Qt's Wayland platform that are shown xdg-shell toplevels are exported
// (exporting anything else is a protocol error that would end Qt's
// connection). An export lasts until the window is hidden or destroyed;
// asking again for a shown window gives the same handle. Main thread only.
namespace WaylandWindowExport {

// Empty when the window cannot be exported or the compositor offers no
// xdg-foreign; waits at most `timeoutMs` for the compositor.
QString handleFor(QWindow *window, int timeoutMs = 500);

} // namespace WaylandWindowExport
