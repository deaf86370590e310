#pragma once

#include "core/desktop/DesktopServices.h"

// Call first in main(), before the QApplication: lets the AT-SPI thread run
// the default GLib context (Qt's main thread then uses its own event
// dispatcher instead of GLib's).
void prepareLinuxDesktopProcess();

// The real desktop services of the Linux desktop (X11, AT-SPI, QClipboard).
// Needs a QGuiApplication; call on the main thread.
DesktopServices createLinuxDesktopServices();
