#include "core/desktop/CaptureGeometry.h"
#include "platform/linux/capture/ScreenImageCodec.h"

#include <QPainter>
#include <QTest>

namespace {

// A screen whose left half is red and right half blue, in device pixels.
ScreenImage halvesScreen(const QRect &geometry, qreal ratio)
{
    QImage image((QSizeF(geometry.size()) * ratio).toSize(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, image.width() / 2, image.height(), Qt::red);
    painter.fillRect(image.width() / 2, 0, image.width() - image.width() / 2, image.height(),
                     Qt::blue);
    painter.end();
    return ScreenImageCodec::fromImage(image, QStringLiteral("screen-1"), geometry);
}

QImage decode(const CapturedRegion &region)
{
    return QImage::fromData(region.png, "PNG");
}

} // namespace

// Cutting a region out of a grab and encoding it: the X11 and portal
// captures share this.
class TestScreenRegionEncoding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cutsTheRegionInDevicePixels();
    void scalesLargeRegionsDown();
    void failsClearlyInsteadOfEmptyImages();
};

void TestScreenRegionEncoding::cutsTheRegionInDevicePixels()
{
    // A scale-2 screen right of a 100-wide one: its halves meet at x=150.
    ScreenGrab grab;
    grab.screens.append(halvesScreen(QRect(100, 0, 100, 50), 2.0));
    QCOMPARE(grab.screens.first().devicePixelRatio, 2.0);
    QCOMPARE(ScreenImageCodec::toImage(grab.screens.first()).devicePixelRatio(), 2.0);

    const CapturedRegion region =
        ScreenImageCodec::encodeRegion(grab, QStringLiteral("screen-1"), QRectF(140, 10, 20, 10));
    QVERIFY2(region.succeeded(), qPrintable(region.error));
    const QImage image = decode(region);
    QCOMPARE(image.size(), QSize(40, 20));
    QCOMPARE(region.size, image.size());
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(image.pixelColor(19, 19), QColor(Qt::red));
    QCOMPARE(image.pixelColor(20, 0), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(39, 19), QColor(Qt::blue));
    QVERIFY(!image.hasAlphaChannel());
}

void TestScreenRegionEncoding::scalesLargeRegionsDown()
{
    ScreenGrab grab;
    grab.screens.append(halvesScreen(QRect(0, 0, 1600, 900), 2.0));
    const CapturedRegion region =
        ScreenImageCodec::encodeRegion(grab, QStringLiteral("screen-1"), QRectF(0, 0, 1600, 800));
    QVERIFY2(region.succeeded(), qPrintable(region.error));
    const QImage image = decode(region);
    QCOMPARE(image.size(), QSize(CaptureGeometry::maximumImageEdge, 1024));
    // Smooth filtering blends only at the seam; the halves keep their colours.
    QCOMPARE(image.pixelColor(10, 500), QColor(Qt::red));
    QCOMPARE(image.pixelColor(2040, 500), QColor(Qt::blue));
}

void TestScreenRegionEncoding::failsClearlyInsteadOfEmptyImages()
{
    ScreenGrab grab;
    grab.screens.append(halvesScreen(QRect(0, 0, 100, 50), 1.0));
    const CapturedRegion unknown =
        ScreenImageCodec::encodeRegion(grab, QStringLiteral("HDMI-9"), QRectF(0, 0, 10, 10));
    QVERIFY(!unknown.succeeded());
    QVERIFY(unknown.png.isEmpty());
    QVERIFY(!unknown.error.isEmpty());

    const CapturedRegion outside =
        ScreenImageCodec::encodeRegion(grab, QStringLiteral("screen-1"), QRectF(500, 500, 10, 10));
    QVERIFY(!outside.succeeded());
    QVERIFY(!outside.error.isEmpty());

    ScreenGrab broken;
    broken.screens.append(grab.screens.first());
    broken.screens.first().pixels.truncate(10);
    QVERIFY(
        !ScreenImageCodec::encodeRegion(broken, QStringLiteral("screen-1"), QRectF(0, 0, 10, 10))
             .succeeded());
}

QTEST_GUILESS_MAIN(TestScreenRegionEncoding)
#include "test_screen_region_encoding.moc"
