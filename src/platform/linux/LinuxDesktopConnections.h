#pragma once

#include "platform/linux/clipboard/ClipboardAccess.h"
#include "platform/linux/clipboard/DataControlClipboard.h"
#include "platform/linux/wayland/WaylandWindowExport.h"
#include "platform/linux/x11/X11Desktop.h"

class AtspiWorker;

// What this process holds open to the desktop, one of each: its own X11
// connection, the X11 clipboards through Qt, the Wayland clipboard, the
// exporter of our Wayland windows for the portal's dialogs and the AT-SPI
// thread. The composition root makes it once, before the desktop
// services, keeps it until they are gone, and hands each service the ones
// it talks to. Needs a QGuiApplication; main thread only.
class LinuxDesktopConnections
{
public:
    LinuxDesktopConnections();
    Q_DISABLE_COPY_MOVE(LinuxDesktopConnections)

    X11Desktop x11;
    ClipboardAccess clipboard{x11};
    DataControlClipboard waylandClipboard;
    WaylandWindowExporter windowExporter;
    // Never deleted: its thread runs until the process ends.
    AtspiWorker &atspi;
};
