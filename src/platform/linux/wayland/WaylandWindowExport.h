#pragma once

#include <QString>
#include <memory>

class QWindow;

// Exports windows of ours through the compositor's xdg-foreign protocol
// (zxdg_exporter_v2), so another client, the desktop portal, can place its
// dialog over them: the handle to pass as "wayland:<handle>". Only windows of
// Qt's Wayland platform that are shown xdg-shell toplevels are exported
// (exporting anything else is a protocol error that would end Qt's
// connection). An export lasts until the window is hidden or destroyed;
// asking again for a shown window gives the same handle. The exporter is
// bound on Qt's own connection on first use, one per process (the desktop's
// connections hold it). Main thread only.
class WaylandWindowExporter
{
public:
    WaylandWindowExporter();
    ~WaylandWindowExporter();
    WaylandWindowExporter(const WaylandWindowExporter &) = delete;
    WaylandWindowExporter &operator=(const WaylandWindowExporter &) = delete;

    // Empty when the window cannot be exported or the compositor offers no
    // xdg-foreign; waits at most `timeoutMs` for the compositor.
    QString handleFor(QWindow *window, int timeoutMs = 500);

private:
    class Exporter;
    std::unique_ptr<Exporter> m_exporter;
};
