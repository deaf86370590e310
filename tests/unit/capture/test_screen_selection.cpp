#include "core/desktop/CaptureGeometry.h"
#include "support/FakeScreenCaptureService.h"
#include "ui/capture/ScreenSelectionController.h"
#include "ui/capture/SelectionOverlayView.h"
#include "ui/capture/SelectionOverlayWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

namespace {

void sendMouse(QWidget *widget, QEvent::Type type, const QPointF &pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

void drag(QWidget *widget, const QPointF &from, const QPointF &to)
{
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

void pressEscape(QWidget *widget)
{
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &event);
}

// One solid grey screen image per Qt screen.
ScreenGrab greyGrab()
{
    ScreenGrab grab;
    for (QScreen *screen : QGuiApplication::screens()) {
        ScreenImage image;
        image.screenName = screen->name();
        image.geometry = screen->geometry();
        image.width = screen->geometry().width();
        image.height = screen->geometry().height();
        image.bytesPerLine = image.width * 4;
        image.pixels = QByteArray(qsizetype(image.bytesPerLine) * image.height, char(0xc8));
        grab.screens.append(image);
    }
    return grab;
}

struct Outcome
{
    int calls = 0;
    std::optional<QByteArray> png;
    QString error;
};

ScreenSelectionController::Completion record(Outcome &outcome)
{
    return [&outcome](std::optional<QByteArray> png, QString error) {
        ++outcome.calls;
        outcome.png = std::move(png);
        outcome.error = std::move(error);
    };
}

} // namespace

// The overlay's mouse handling and drawing, and the controller's road from
// grab to PNG, over a fake capture service.
class TestScreenSelection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void viewReportsTheDraggedRectangleEitherWay();
    void viewAbandonsOnEscapeAndRightClick();
    void viewDimsAllButTheSelection();
    void controllerEncodesTheSelectedRegion();
    void controllerAttachesNothingForClickOrEscape();
    void controllerReportsRefusedGrabs();
    void controllerDropsAGrabThatArrivesAfterCancel();
    void controllerDropsAnImageEncodedAfterCancel();
};

void TestScreenSelection::viewReportsTheDraggedRectangleEitherWay()
{
    SelectionOverlayView view;
    view.resize(300, 200);
    QList<QRectF> reported;
    view.onSelection = [&](const QRectF &rect) { reported.append(rect); };
    QVERIFY(!view.startPoint() && !view.currentPoint());

    drag(&view, {20, 30}, {120, 80});
    drag(&view, {120, 80}, {20, 30});
    drag(&view, {50, 60}, {50, 60});
    QCOMPARE(reported.size(), 3);
    QCOMPARE(reported[0], QRectF(20, 30, 100, 50));
    QCOMPARE(reported[1], reported[0]);
    QCOMPARE(reported[2], QRectF(50, 60, 0, 0));
}

void TestScreenSelection::viewAbandonsOnEscapeAndRightClick()
{
    SelectionOverlayView view;
    view.resize(300, 200);
    int selections = 0;
    int abandons = 0;
    view.onSelection = [&](const QRectF &) { ++selections; };
    view.onAbandon = [&] { ++abandons; };

    sendMouse(&view, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&view, QEvent::MouseMove, {40, 40}, Qt::NoButton, Qt::LeftButton);
    pressEscape(&view);
    QCOMPARE(abandons, 1);
    QVERIFY(!view.startPoint());
    // The release of the abandoned drag selects nothing.
    sendMouse(&view, QEvent::MouseButtonRelease, {40, 40}, Qt::LeftButton, Qt::NoButton);
    sendMouse(&view, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    QCOMPARE(abandons, 2);
    QCOMPARE(selections, 0);
}

void TestScreenSelection::viewDimsAllButTheSelection()
{
    SelectionOverlayView view;
    view.resize(200, 100);
    ScreenImage white;
    white.screenName = QStringLiteral("s");
    white.geometry = QRect(0, 0, 200, 100);
    white.width = 200;
    white.height = 100;
    white.bytesPerLine = 800;
    white.pixels = QByteArray(800 * 100, char(0xff));
    view.setFrozenScreen(white);
    sendMouse(&view, QEvent::MouseButtonPress, {150, 80}, Qt::LeftButton, Qt::LeftButton);
    sendMouse(&view, QEvent::MouseMove, {50, 20}, Qt::NoButton, Qt::LeftButton);

    const QImage drawn = view.grab().toImage();
    // Inside: the frozen screen itself. Outside: dimmed by black at 0.35.
    QCOMPARE(drawn.pixelColor(100, 50), QColor(255, 255, 255));
    const QColor outside = drawn.pixelColor(10, 10);
    QVERIFY2(qAbs(outside.red() - 166) <= 2, qPrintable(outside.name()));
    QCOMPARE(drawn.pixelColor(190, 95), outside);
    // The outline: white at 0.9 on the edge, over the undimmed screen.
    QVERIFY(drawn.pixelColor(50, 50).red() >= 250);
    QVERIFY(drawn.pixelColor(49, 50).red() < 200);
}

void TestScreenSelection::controllerEncodesTheSelectedRegion()
{
    auto capture = std::make_shared<FakeScreenCaptureService>();
    capture->nextGrab.grab = greyGrab();
    ScreenSelectionController controller(capture);
    QList<ScreenSelectionController::Selection> hooked;
    controller.onSelection = [&](const ScreenSelectionController::Selection &s) {
        hooked.append(s);
    };
    Outcome outcome;
    QVERIFY(controller.captureRegion(record(outcome)));
    QVERIFY(controller.isActive());
    QCOMPARE(controller.windows().size(), QGuiApplication::screens().size());
    QVERIFY(!controller.captureRegion(record(outcome)));
    QCOMPARE(capture->grabCount, 1);

    SelectionOverlayWindow *window = controller.windows().first();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    drag(window->view(), {210, 160}, {10, 40});
    QVERIFY(!controller.isActive());
    QVERIFY(controller.windows().isEmpty());

    QTRY_COMPARE(outcome.calls, 1);
    QVERIFY(outcome.error.isEmpty());
    QVERIFY(outcome.png);
    QVERIFY(!controller.isActive());
    QVERIFY(controller.windows().isEmpty());
    QCOMPARE(capture->encoded.size(), 1);
    QCOMPARE(capture->encoded.first().screenName, window->screenName());
    const QRectF expected(origin.x() + 10, origin.y() + 40, 200, 120);
    QCOMPARE(capture->encoded.first().rect, expected);
    QCOMPARE(hooked.size(), 1);
    QCOMPARE(hooked.first().rect, expected);
    // The next capture may start right away.
    QVERIFY(controller.captureRegion(record(outcome)));
    controller.cancel();
}

void TestScreenSelection::controllerAttachesNothingForClickOrEscape()
{
    auto capture = std::make_shared<FakeScreenCaptureService>();
    capture->nextGrab.grab = greyGrab();
    ScreenSelectionController controller(capture);
    int cancels = 0;
    controller.onCancel = [&] { ++cancels; };

    Outcome click;
    QVERIFY(controller.captureRegion(record(click)));
    drag(controller.windows().first()->view(), {30, 30}, {30, 30});
    QCOMPARE(click.calls, 1);
    QVERIFY(!click.png);
    QVERIFY(click.error.isEmpty());
    QVERIFY(capture->encoded.isEmpty());

    Outcome escape;
    QVERIFY(controller.captureRegion(record(escape)));
    // The key monitor sees Escape whichever overlay has the keyboard.
    pressEscape(controller.windows().last());
    QCOMPARE(escape.calls, 1);
    QVERIFY(!escape.png);
    QVERIFY(escape.error.isEmpty());
    QCOMPARE(cancels, 1);
    QVERIFY(!controller.isActive());
    QVERIFY(capture->encoded.isEmpty());
}

void TestScreenSelection::controllerReportsRefusedGrabs()
{
    auto capture = std::make_shared<FakeScreenCaptureService>();
    capture->nextGrab.error = QStringLiteral("The X server refused.");
    ScreenSelectionController controller(capture);
    Outcome outcome;
    QVERIFY(controller.captureRegion(record(outcome)));
    QCOMPARE(outcome.calls, 1);
    QVERIFY(!outcome.png);
    QCOMPARE(outcome.error, QStringLiteral("The X server refused."));
    QVERIFY(!controller.isActive());

    // A grab without images and without a word is a failure too.
    capture->nextGrab = {};
    QVERIFY(controller.captureRegion(record(outcome)));
    QCOMPARE(outcome.calls, 2);
    QVERIFY(!outcome.error.isEmpty());

    // Declining the desktop's own prompt is a cancellation.
    capture->nextGrab.cancelled = true;
    QVERIFY(controller.captureRegion(record(outcome)));
    QCOMPARE(outcome.calls, 3);
    QVERIFY(outcome.error.isEmpty());
    QVERIFY(!outcome.png);
}

void TestScreenSelection::controllerDropsAGrabThatArrivesAfterCancel()
{
    auto capture = std::make_shared<FakeScreenCaptureService>();
    capture->nextGrab.grab = greyGrab();
    capture->deferGrab = true;
    ScreenSelectionController controller(capture);
    Outcome outcome;
    QVERIFY(controller.captureRegion(record(outcome)));
    QVERIFY(!controller.isActive());
    controller.cancel();
    QCOMPARE(outcome.calls, 1);
    QVERIFY(outcome.error.isEmpty());
    capture->deliver();
    QVERIFY(!controller.isActive());
    QVERIFY(controller.windows().isEmpty());
    QCOMPARE(outcome.calls, 1);
}

void TestScreenSelection::controllerDropsAnImageEncodedAfterCancel()
{
    auto capture = std::make_shared<FakeScreenCaptureService>();
    capture->nextGrab.grab = greyGrab();
    ScreenSelectionController controller(capture);
    Outcome outcome;
    QVERIFY(controller.captureRegion(record(outcome)));
    drag(controller.windows().first()->view(), {10, 10}, {60, 60});
    // The encoding runs elsewhere; its result can only arrive through the
    // event loop, after this.
    controller.cancel();
    QCOMPARE(outcome.calls, 1);
    QVERIFY(!outcome.png);
    QVERIFY(outcome.error.isEmpty());
    QTRY_COMPARE(capture->encodedCount(), 1);
    QTest::qWait(50);
    QCOMPARE(outcome.calls, 1);
    QVERIFY(!outcome.png);
}

QTEST_MAIN(TestScreenSelection)
#include "test_screen_selection.moc"
