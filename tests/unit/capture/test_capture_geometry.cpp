#include "core/desktop/CaptureGeometry.h"

#include <QTest>

// The rules that turn a drag into image pixels.
class TestCaptureGeometry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void dragDirectionDoesNotMatter();
    void clickHasZeroSize();
    void devicePixelsFollowScreenAndScale_data();
    void devicePixelsFollowScreenAndScale();
    void longEdgeIsBoundedKeepingAspect_data();
    void longEdgeIsBoundedKeepingAspect();
};

void TestCaptureGeometry::dragDirectionDoesNotMatter()
{
    const QRectF expected(10, 20, 90, 30);
    QCOMPARE(CaptureGeometry::normalized({10, 20}, {100, 50}), expected);
    QCOMPARE(CaptureGeometry::normalized({100, 50}, {10, 20}), expected);
    QCOMPARE(CaptureGeometry::normalized({100, 20}, {10, 50}), expected);
    QCOMPARE(CaptureGeometry::normalized({10, 50}, {100, 20}), expected);
    // Negative desktop coordinates (a screen left of the primary one).
    QCOMPARE(CaptureGeometry::normalized({-5.5, -10}, {-20, 4}), QRectF(-20, -10, 14.5, 14));
}

void TestCaptureGeometry::clickHasZeroSize()
{
    const QRectF click = CaptureGeometry::normalized({42, 17}, {42, 17});
    QCOMPARE(click, QRectF(42, 17, 0, 0));
    QVERIFY(CaptureGeometry::isEmpty(click));
    QVERIFY(CaptureGeometry::isEmpty(QRectF(0, 0, 30, 0)));
    QVERIFY(CaptureGeometry::isEmpty(QRectF(0, 0, 0, 30)));
    QVERIFY(!CaptureGeometry::isEmpty(QRectF(0, 0, 0.5, 0.5)));
    QVERIFY(CaptureGeometry::toDevicePixels(click, QRect(0, 0, 800, 600), 2.0, QSize(1600, 1200))
                .isEmpty());
}

void TestCaptureGeometry::devicePixelsFollowScreenAndScale_data()
{
    QTest::addColumn<QRectF>("rect");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QRect>("expected");

    const QRect primary(0, 0, 1280, 800);
    const QRect right(1280, 0, 1000, 700);
    QTest::newRow("scale 1") << QRectF(10, 20, 100, 50) << primary << 1.0 << QRect(10, 20, 100, 50);
    QTest::newRow("scale 2") << QRectF(10, 20, 100, 50) << primary << 2.0
                             << QRect(20, 40, 200, 100);
    QTest::newRow("second screen")
        << QRectF(1300, 10, 50, 40) << right << 1.0 << QRect(20, 10, 50, 40);
    QTest::newRow("second screen, scale 2")
        << QRectF(1300, 10, 50, 40) << right << 2.0 << QRect(40, 20, 100, 80);
    // Every device pixel the rectangle touches: 10.5*1.5=15.75 -> 15,
    // (10.5+20)*1.5=45.75 -> 46.
    QTest::newRow("scale 1.5, fractional")
        << QRectF(10.5, 0, 20, 10) << primary << 1.5 << QRect(15, 0, 31, 15);
    QTest::newRow("clipped at the screen's edge")
        << QRectF(1250, 780, 100, 100) << primary << 1.0 << QRect(1250, 780, 30, 20);
    QTest::newRow("off the screen") << QRectF(1300, 10, 50, 40) << primary << 1.0 << QRect();
}

void TestCaptureGeometry::devicePixelsFollowScreenAndScale()
{
    QFETCH(QRectF, rect);
    QFETCH(QRect, screen);
    QFETCH(qreal, ratio);
    QFETCH(QRect, expected);
    const QSize pixelSize = (QSizeF(screen.size()) * ratio).toSize();
    QCOMPARE(CaptureGeometry::toDevicePixels(rect, screen, ratio, pixelSize), expected);
}

void TestCaptureGeometry::longEdgeIsBoundedKeepingAspect_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("fits") << QSize(2048, 100) << QSize(2048, 100);
    QTest::newRow("small") << QSize(40, 30) << QSize(40, 30);
    QTest::newRow("wide") << QSize(4000, 1000) << QSize(2048, 512);
    QTest::newRow("tall") << QSize(1000, 4000) << QSize(512, 2048);
    QTest::newRow("square, scale 2 screen") << QSize(2560, 2560) << QSize(2048, 2048);
    QTest::newRow("a line stays a pixel high") << QSize(5000, 1) << QSize(2048, 1);
    QTest::newRow("odd ratio") << QSize(3001, 2000) << QSize(2048, 1365);
}

void TestCaptureGeometry::longEdgeIsBoundedKeepingAspect()
{
    QFETCH(QSize, size);
    QFETCH(QSize, expected);
    QCOMPARE(CaptureGeometry::maximumImageEdge, 2048);
    QCOMPARE(CaptureGeometry::boundedSize(size), expected);
}

QTEST_APPLESS_MAIN(TestCaptureGeometry)
#include "test_capture_geometry.moc"
