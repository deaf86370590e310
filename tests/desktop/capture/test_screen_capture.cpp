#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/capture/X11ScreenCaptureService.h"
#include "support/DesktopTestSession.h"
#include "ui/capture/ScreenSelectionController.h"
#include "ui/capture/SelectionOverlayWindow.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace {

// A window painted in two known colours: left half and right half.
class ColouredWindow : public QWidget
{
public:
    ColouredWindow()
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    {
    }
    QColor left = Qt::red;
    QColor right = Qt::blue;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(0, 0, width() / 2, height(), left);
        painter.fillRect(width() / 2, 0, width() - width() / 2, height(), right);
    }
};

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

private:
    bool startCapture(Outcome &outcome);
    Outcome captureByDrag(const QPoint &from, const QPoint &to, const QString &screenshot = {});

    std::unique_ptr<ColouredWindow> m_window;
    std::unique_ptr<ScreenSelectionController> m_controller;
    QPoint m_origin;
};

void ScreenCaptureTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    m_window = std::make_unique<ColouredWindow>();
    m_window->setGeometry(200, 150, 400, 300);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    DesktopTestSession::settle(300);
    m_origin = m_window->mapToGlobal(QPoint(0, 0));
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
    DesktopTestSession::settle(200);
    return true;
}

Outcome ScreenCaptureTest::captureByDrag(const QPoint &from, const QPoint &to,
                                         const QString &screenshot)
{
    Outcome outcome;
    if (!startCapture(outcome))
        return outcome;
    // What the window shows now must not reach the image: the overlay shows,
    // and the capture cuts from, the screen as it was.
    m_window->left = Qt::green;
    m_window->right = Qt::green;
    m_window->update();
    mouse({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y())});
    mouse({QStringLiteral("mousedown"), QStringLiteral("1")});
    const QPoint middle = (from + to) / 2;
    mouse({QStringLiteral("mousemove"), QString::number(middle.x()), QString::number(middle.y())});
    mouse({QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y())});
    DesktopTestSession::settle(200);
    if (!screenshot.isEmpty()) {
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        shot.save(QDir(outputFolder()).filePath(screenshot));
    }
    mouse({QStringLiteral("mouseup"), QStringLiteral("1")});
    if (!QTest::qWaitFor([&outcome] { return outcome.calls > 0; }, 5000))
        qWarning("The capture did not finish after the drag.");
    m_window->left = Qt::red;
    m_window->right = Qt::blue;
    m_window->update();
    DesktopTestSession::settle(200);
    return outcome;
}

void ScreenCaptureTest::dragGivesTheWindowsPixelsEitherWay()
{
    // 100x60 across the seam between the halves, 50 device pixels each side.
    const QPoint topLeft = m_origin + QPoint(150, 100);
    const QPoint bottomRight = topLeft + QPoint(100, 60);
    const QString screenshot = QStringLiteral("overlay-mid-drag.png");
    const Outcome forward = captureByDrag(topLeft, bottomRight, screenshot);
    QVERIFY2(forward.png, qPrintable(forward.error));
    const QImage image = QImage::fromData(*forward.png, "PNG");
    QCOMPARE(image.size(), QSize(100, 60));
    for (const QPoint &p : {QPoint(0, 0), QPoint(49, 59), QPoint(25, 30)})
        QCOMPARE(image.pixelColor(p), QColor(Qt::red));
    for (const QPoint &p : {QPoint(50, 0), QPoint(99, 59), QPoint(75, 30)})
        QCOMPARE(image.pixelColor(p), QColor(Qt::blue));

    // The overlay as the user saw it mid-drag: dimmed around, clear inside.
    const QImage shot(QDir(outputFolder()).filePath(screenshot));
    QVERIFY(!shot.isNull());
    QCOMPARE(shot.pixelColor(topLeft + QPoint(20, 20)), QColor(Qt::red));
    const QColor dimmed = shot.pixelColor(m_origin + QPoint(20, 20));
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
    mouse({QStringLiteral("mousemove"), QString::number(from.x()), QString::number(from.y())});
    mouse({QStringLiteral("mousedown"), QStringLiteral("1")});
    mouse({QStringLiteral("mousemove"), QString::number(from.x() + 80),
           QString::number(from.y() + 80)});
    QVERIFY(mouse({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 5000);
    mouse({QStringLiteral("mouseup"), QStringLiteral("1")});
    DesktopTestSession::settle(200);
    QVERIFY(!outcome.png);
    QVERIFY(outcome.error.isEmpty());
    QVERIFY(!m_controller->isActive());
    QCOMPARE(outcome.calls, 1);
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
