#include "platform/linux/capture/PortalScreenCaptureService.h"

#include "platform/linux/capture/PortalParentWindow.h"
#include "platform/linux/capture/PortalScreenshotRequest.h"
#include "platform/linux/capture/ScreenImageCodec.h"
#include "platform/linux/portal/PortalInterfaceVersion.h"

bool PortalScreenCaptureService::isOffered()
{
    return portalInterfaceVersion(QStringLiteral("org.freedesktop.portal.Screenshot")) >= 1;
}

void PortalScreenCaptureService::grabScreens(GrabCallback done)
{
    // The overlay does not exist yet: the parent is whatever window of ours
    // the user is in.
    (new PortalScreenshotRequest(std::move(done), responseTimeout, portalParentWindow(m_exporter)))
        ->start();
}

CapturedRegion PortalScreenCaptureService::encodeRegion(const ScreenGrab &grab,
                                                        const QString &screenName,
                                                        const QRectF &rect) const
{
    return ScreenImageCodec::encodeRegion(grab, screenName, rect);
}
