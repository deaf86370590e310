#pragma once

#include "core/desktop/DesktopServices.h"
#include "platform/linux/LinuxDesktopConnections.h"

// Call first in main(), before the QApplication: lets the AT-SPI thread run
// the default GLib context (Qt's main thread then uses its own event
// dispatcher instead of GLib's).
void prepareLinuxDesktopProcess();

enum class LinuxDesktopRole {
    commandLine,         // `wrenlark ask --from-selection` and friends
    residentApplication, // the tray application, which also owns the global shortcuts
};

// The real desktop services of the Linux desktop (X11, AT-SPI, QClipboard,
// XDG autostart, xdg-open, key grabs or the shortcuts portal), over the
// process's connections to it, which must outlive them. Needs a
// QGuiApplication; call on the main thread, once per process.
DesktopServices createLinuxDesktopServices(LinuxDesktopConnections &desktop,
                                           LinuxDesktopRole role = LinuxDesktopRole::commandLine);
