#pragma once

#include "core/desktop/ScreenCaptureService.h"

#include <memory>

class WaylandWindowExporter;

// The capture that fits the running session: the Screenshot portal under
// Wayland, the X server's own images otherwise. Call after the
// QGuiApplication exists.
std::shared_ptr<ScreenCaptureService> createLinuxScreenCapture(WaylandWindowExporter &exporter);
