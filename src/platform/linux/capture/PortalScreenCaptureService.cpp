#include "platform/linux/capture/PortalScreenCaptureService.h"

#include "platform/linux/capture/PortalScreenshotRequest.h"
#include "platform/linux/capture/ScreenImageCodec.h"

void PortalScreenCaptureService::grabScreens(GrabCallback done)
{
    (new PortalScreenshotRequest(std::move(done), responseTimeout))->start();
}

CapturedRegion PortalScreenCaptureService::encodeRegion(const ScreenGrab &grab,
                                                        const QString &screenName,
                                                        const QRectF &rect) const
{
    return ScreenImageCodec::encodeRegion(grab, screenName, rect);
}
