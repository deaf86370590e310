#include "ColouredWindow.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/capture/X11ScreenCaptureService.h"
#include "support/DesktopTestSession.h"
#include "ui/capture/ScreenSelectionController.h"
#include "ui/capture/SelectionOverlayWindow.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace {

struct Outcome
{
    int calls = 0;
    std::optional<QByteArray> png;
    QString error;
};

bool mouse(const QStringList &arguments)
{
    return DesktopTestSession::xdotool(arguments);
}

QString outputFolder()
{
    const QString sandbox = qEnvironmentVariable("WRENLARK_TEST_SANDBOX");
    return sandbox.isEmpty() ? QDir::tempPath() : sandbox;
}

} // namespace

// A capture of the real X server: the overlay over a window of known colours,
// a drag through XTest, the PNG that comes out.
class ScreenCaptureTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void dragGivesTheWindowsPixelsEitherWay();
    void escapeAbandons();
    void leavesThePrimarySelectionAlone();

private:
    // Logical (Qt) coordinates to the X server's, which xdotool speaks.
    QPoint device(const QPoint &logical) const { return logical * m_ratio; }
    bool moveMouse(const QPoint &logical);
    bool startCapture(Outcome &outcome);
    Outcome captureByDrag(const QPoint &from, const QPoint &to, const QString &screenshot = {});

    std::unique_ptr<ColouredWindow> m_window;
    std::unique_ptr<ScreenSelectionController> m_controller;
    QPoint m_origin;
    qreal m_ratio = 1.0;
};

void ScreenCaptureTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    m_window = std::make_unique<ColouredWindow>(QList<QList<QColor>>{{Qt::red, Qt::blue}});
    // Inside the screen at scale 2 too (640x400 logical pixels).
    m_window->setGeometry(100, 80, 400, 300);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    DesktopTestSession::settle(300);
    m_origin = m_window->mapToGlobal(QPoint(0, 0));
    m_ratio = m_window->devicePixelRatioF();
    qInfo("Device pixel ratio %g", m_ratio);
    m_controller =
        std::make_unique<ScreenSelectionController>(std::make_shared<X11ScreenCaptureService>());
}

bool ScreenCaptureTest::startCapture(Outcome &outcome)
{
    const bool started =
        m_controller->captureRegion([&outcome](std::optional<QByteArray> png, QString error) {
            ++outcome.calls;
            outcome.png = std::move(png);
            outcome.error = std::move(error);
        });
    if (!started || !m_controller->isActive())
        return false;
    for (SelectionOverlayWindow *window : m_controller->windows()) {
        if (!QTest::qWaitForWindowExposed(window))
            return false;
    }
    // The overlay holds the keyboard, so Escape reaches it and not the
    // application underneath.
    return QTest::qWaitFor(
        [this] {
            QWindow *focus = QGuiApplication::focusWindow();
            return focus && focus == m_controller->windows().first()->windowHandle();
        },
        3000);
}

Outcome ScreenCaptureTest::captureByDrag(const QPoint &from, const QPoint &to,
                                         const QString &screenshot)
{
    Outcome outcome;
    if (!startCapture(outcome))
        return outcome;
    // What the window shows now must not reach the image: the overlay shows,
    // and the capture cuts from, the screen as it was.
    m_window->setRows({{Qt::green}});
    moveMouse(from);
    mouse({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveMouse((from + to) / 2);
    moveMouse(to);
    DesktopTestSession::settle(200);
    if (!screenshot.isEmpty()) {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        shot.save(QDir(outputFolder()).filePath(screenshot));
    }
    mouse({QStringLiteral("mouseup"), QStringLiteral("1")});
    if (!QTest::qWaitFor([&outcome] { return outcome.calls > 0; }, 5000))
        qWarning("The capture did not finish after the drag.");
    m_window->setRows({{Qt::red, Qt::blue}});
    DesktopTestSession::settle(200);
    return outcome;
}

void ScreenCaptureTest::dragGivesTheWindowsPixelsEitherWay()
{
    // 100x60 across the seam between the halves, 50 device pixels each side.
    const QPoint topLeft = m_origin + QPoint(150, 100);
    const QPoint bottomRight = topLeft + QPoint(100, 60);
    const QString screenshot = QStringLiteral("overlay-mid-drag-scale%1.png").arg(m_ratio);
    const Outcome forward = captureByDrag(topLeft, bottomRight, screenshot);
    QVERIFY2(forward.png, qPrintable(forward.error));
    const QImage image = QImage::fromData(*forward.png, "PNG");
    QCOMPARE(image.size(), QSize(100, 60) * m_ratio);
    const int seam = int(50 * m_ratio);
    for (const QPoint &p : {QPoint(0, 0), QPoint(seam - 1, image.height() - 1), QPoint(25, 30)})
        QCOMPARE(image.pixelColor(p), QColor(Qt::red));
    for (const QPoint &p :
         {QPoint(seam, 0), QPoint(image.width() - 1, image.height() - 1), QPoint(seam + 25, 30)})
        QCOMPARE(image.pixelColor(p), QColor(Qt::blue));

    // The overlay as the user saw it mid-drag: dimmed around, clear inside.
    const QImage shot(QDir(outputFolder()).filePath(screenshot));
    QVERIFY(!shot.isNull());
    QCOMPARE(shot.pixelColor(device(topLeft + QPoint(20, 20))), QColor(Qt::red));
    const QColor dimmed = shot.pixelColor(device(m_origin + QPoint(20, 20)));
    QVERIFY2(dimmed.red() > 150 && dimmed.red() < 180 && dimmed.green() == 0,
             qPrintable(dimmed.name()));

    const Outcome reversed = captureByDrag(bottomRight, topLeft);
    QVERIFY2(reversed.png, qPrintable(reversed.error));
    QCOMPARE(QImage::fromData(*reversed.png, "PNG"), image);
}

void ScreenCaptureTest::escapeAbandons()
{
    Outcome outcome;
    QVERIFY(startCapture(outcome));
    const QPoint from = m_origin + QPoint(10, 10);
    moveMouse(from);
    mouse({QStringLiteral("mousedown"), QStringLiteral("1")});
    moveMouse(from + QPoint(80, 80));
    QVERIFY(mouse({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 5000);
    mouse({QStringLiteral("mouseup"), QStringLiteral("1")});
    DesktopTestSession::settle(200);
    QVERIFY(!outcome.png);
    QVERIFY(outcome.error.isEmpty());
    QVERIFY(!m_controller->isActive());
    QCOMPARE(outcome.calls, 1);
}

void ScreenCaptureTest::leavesThePrimarySelectionAlone()
{
    // Another application's selection, served once to whoever asks.
    const QByteArray text = "selected elsewhere";
    QVERIFY(DesktopTestSession::run(QStringLiteral("xclip"),
                                    {QStringLiteral("-selection"), QStringLiteral("primary"),
                                     QStringLiteral("-loops"), QStringLiteral("1")},
                                    5000, text)
                .finished);
    const QPoint from = m_origin + QPoint(30, 30);
    const Outcome outcome = captureByDrag(from, from + QPoint(40, 40));
    QVERIFY2(outcome.png, qPrintable(outcome.error));
    const DesktopTestSession::ProcessResult primary = DesktopTestSession::run(
        QStringLiteral("xclip"),
        {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("primary")});
    QVERIFY(primary.finished);
    QCOMPARE(primary.output, text);
}

bool ScreenCaptureTest::moveMouse(const QPoint &logical)
{
    const QPoint p = device(logical);
    return mouse({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    prepareLinuxDesktopProcess();
    QApplication app(argc, argv);
    ScreenCaptureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_screen_capture.moc"
