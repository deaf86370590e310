#include "core/desktop/CaptureGeometry.h"

#include <QtMath>
#include <algorithm>
#include <cmath>

namespace CaptureGeometry {

QRectF normalized(const QPointF &from, const QPointF &to)
{
    return QRectF(std::min(from.x(), to.x()), std::min(from.y(), to.y()),
                  std::abs(to.x() - from.x()), std::abs(to.y() - from.y()));
}

bool isEmpty(const QRectF &rect)
{
    return !(rect.width() > 0.0) || !(rect.height() > 0.0);
}

QRect toDevicePixels(const QRectF &rect, const QRect &screenGeometry, qreal devicePixelRatio,
                     const QSize &pixelSize)
{
    if (isEmpty(rect) || !(devicePixelRatio > 0.0))
        return {};
    const QRectF local = rect.translated(-QPointF(screenGeometry.topLeft()));
    // Rounding guards against 99.99999 becoming 99 after a scale of 1.5.
    const auto snapDown = [](qreal v) { return int(std::floor(v + 1e-6)); };
    const auto snapUp = [](qreal v) { return int(std::ceil(v - 1e-6)); };
    const int left = std::max(0, snapDown(local.left() * devicePixelRatio));
    const int top = std::max(0, snapDown(local.top() * devicePixelRatio));
    const int right = std::min(pixelSize.width(), snapUp(local.right() * devicePixelRatio));
    const int bottom = std::min(pixelSize.height(), snapUp(local.bottom() * devicePixelRatio));
    if (right <= left || bottom <= top)
        return {};
    return QRect(left, top, right - left, bottom - top);
}

QSize boundedSize(const QSize &size, int maximumEdge)
{
    const int longEdge = std::max(size.width(), size.height());
    if (size.isEmpty() || longEdge <= maximumEdge)
        return size;
    const qreal factor = qreal(maximumEdge) / longEdge;
    return QSize(std::max(1, qRound(size.width() * factor)),
                 std::max(1, qRound(size.height() * factor)));
}

} // namespace CaptureGeometry
