#include "platform/linux/capture/X11ScreenCaptureService.h"

#include "platform/linux/capture/ScreenImageCodec.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

void X11ScreenCaptureService::grabScreens(GrabCallback done)
{
    ScreenGrabResult result;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens) {
        const QPixmap pixmap = screen->grabWindow(0);
        if (pixmap.isNull())
            continue;
        result.grab.screens.append(
            ScreenImageCodec::fromImage(pixmap.toImage(), screen->name(), screen->geometry()));
    }
    if (result.grab.screens.isEmpty() || result.grab.screens.size() < screens.size()) {
        result.grab.screens.clear();
        result.error = QCoreApplication::translate(
            "ScreenCapture", "The X server refused to hand over the screen's image.");
    }
    done(std::move(result));
}

CapturedRegion X11ScreenCaptureService::encodeRegion(const ScreenGrab &grab,
                                                     const QString &screenName,
                                                     const QRectF &rect) const
{
    return ScreenImageCodec::encodeRegion(grab, screenName, rect);
}
