#include "platform/linux/capture/LinuxScreenCapture.h"

#include "platform/linux/capture/PortalScreenCaptureService.h"
#include "platform/linux/capture/X11ScreenCaptureService.h"

#include <QGuiApplication>

std::shared_ptr<ScreenCaptureService> createLinuxScreenCapture(WaylandWindowExporter &exporter)
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return std::make_shared<PortalScreenCaptureService>(exporter);
    return std::make_shared<X11ScreenCaptureService>();
}
