#include "platform/linux/capture/ScreenImageCodec.h"

#include "core/desktop/CaptureGeometry.h"

#include <QBuffer>
#include <QCoreApplication>

namespace ScreenImageCodec {

namespace {
QString tr(const char *text)
{
    return QCoreApplication::translate("ScreenCapture", text);
}
} // namespace

ScreenImage fromImage(const QImage &image, const QString &screenName, const QRect &geometry)
{
    const QImage converted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ScreenImage screen;
    screen.screenName = screenName;
    screen.geometry = geometry;
    screen.width = converted.width();
    screen.height = converted.height();
    screen.bytesPerLine = int(converted.bytesPerLine());
    screen.devicePixelRatio =
        geometry.width() > 0 ? qreal(converted.width()) / geometry.width() : 1.0;
    screen.pixels =
        QByteArray(reinterpret_cast<const char *>(converted.constBits()), converted.sizeInBytes());
    return screen;
}

QImage toImage(const ScreenImage &screen)
{
    if (!screen.isValid())
        return {};
    QImage image(reinterpret_cast<const uchar *>(screen.pixels.constData()), screen.width,
                 screen.height, screen.bytesPerLine, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(screen.devicePixelRatio);
    return image;
}

CapturedRegion encodeRegion(const ScreenGrab &grab, const QString &screenName, const QRectF &rect)
{
    CapturedRegion region;
    const ScreenImage *screen = grab.screenNamed(screenName);
    if (!screen || !screen->isValid()) {
        region.error = tr("The image of that screen is missing; try the capture again.");
        return region;
    }
    const QRect pixels = CaptureGeometry::toDevicePixels(
        rect, screen->geometry, screen->devicePixelRatio, QSize(screen->width, screen->height));
    if (pixels.isEmpty()) {
        region.error = tr("The chosen region lies outside the screen.");
        return region;
    }
    QImage cut = toImage(*screen).copy(pixels);
    cut.setDevicePixelRatio(1.0);
    const QSize bounded = CaptureGeometry::boundedSize(cut.size());
    if (bounded != cut.size())
        cut = cut.scaled(bounded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The screen has no transparency; an opaque PNG is smaller and every
    // provider reads it.
    cut = cut.convertToFormat(QImage::Format_RGB32);
    QBuffer buffer(&region.png);
    buffer.open(QIODevice::WriteOnly);
    if (!cut.save(&buffer, "PNG")) {
        region.png.clear();
        region.error = tr("The region could not be encoded as PNG.");
        return region;
    }
    region.size = cut.size();
    return region;
}

} // namespace ScreenImageCodec
