#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

// The rules that turn a dragged rectangle into the pixels of an image.
namespace CaptureGeometry {

// Longest edge, in device pixels, of an image handed to a request. Every
// provider accepts it, and it bounds the request's size and cost.
inline constexpr int maximumImageEdge = 2048;

// The rectangle spanned by two corners, whichever way it was dragged.
QRectF normalized(const QPointF &from, const QPointF &to);

// Whether the rectangle covers no pixel (a click without a drag).
bool isEmpty(const QRectF &rect);

// `rect` (desktop coordinates) in the device pixels of a screen placed at
// `screenGeometry` with `devicePixelRatio`: every pixel the rectangle
// touches, clipped to the screen's `pixelSize`.
QRect toDevicePixels(const QRectF &rect, const QRect &screenGeometry, qreal devicePixelRatio,
                     const QSize &pixelSize);

// The size an image of `size` is scaled to so its long edge stays within
// `maximumEdge`, keeping the aspect ratio; `size` itself when it fits.
QSize boundedSize(const QSize &size, int maximumEdge = maximumImageEdge);

} // namespace CaptureGeometry
