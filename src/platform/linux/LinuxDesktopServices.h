#pragma once

#include "core/desktop/DesktopServices.h"

// The real desktop services of the Linux desktop (X11, AT-SPI, QClipboard).
// Needs a QGuiApplication; call on the main thread.
DesktopServices createLinuxDesktopServices();
