#pragma once

#include "core/desktop/ScreenCaptureService.h"
#include "core/desktop/ScreenGrab.h"

#include <QImage>
#include <QRect>
#include <QString>

// Conversions between Qt images and the grabs the core carries, and the cut
// that both the X11 and the portal capture share.
namespace ScreenImageCodec {

// `image` (any format, device pixels) as the grab of a screen placed at
// `geometry` (device-independent coordinates).
ScreenImage fromImage(const QImage &image, const QString &screenName, const QRect &geometry);

// A view of `screen`'s pixels without a copy; valid while `screen` lives.
QImage toImage(const ScreenImage &screen);

// The region `rect` of the screen named `screenName`, bounded and as PNG.
CapturedRegion encodeRegion(const ScreenGrab &grab, const QString &screenName, const QRectF &rect);

} // namespace ScreenImageCodec
