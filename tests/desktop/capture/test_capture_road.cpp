// A screen-region capture as a user makes one: the resident application
// running, `wrenlark capture` from another process, a rectangle dragged
// through XTest over a window of known colours, the command bar opening with
// the image attached, an instruction typed, Return; the request that reaches
// the provider carries exactly the dragged pixels. Escape during the drag and
// a click without a drag open nothing; a capture over an open bar ends that
// bar's usage session first.
#include "ColouredWindow.h"
#include "ResidentApp.h"
#include "support/DesktopTestSession.h"
#include "support/TestHttpServer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QTest>

using namespace DesktopTestSession;

namespace {

const QString overlayTitle = QStringLiteral("Select a screen region");

QByteArray delta(const QString &text)
{
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

// A window's place on the screen in device pixels, as xwininfo reports it.
QRect windowGeometry(const QString &window)
{
    const QString info = QString::fromLatin1(
        run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}).output);
    const auto number = [&info](const QString &label) {
        const QRegularExpression pattern(QRegularExpression::escape(label) +
                                         QStringLiteral(":\\s*(-?\\d+)"));
        return pattern.match(info).captured(1).toInt();
    };
    return {number(QStringLiteral("Absolute upper-left X")),
            number(QStringLiteral("Absolute upper-left Y")), number(QStringLiteral("Width")),
            number(QStringLiteral("Height"))};
}

// The X server's picture of the whole screen, in device pixels.
QImage screenNow()
{
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

// Saved as NAME-scaleN.png in the test's screenshot folder.
void saveScreenshot(const QImage &image, const QString &name, qreal scale)
{
    const QString folder =
        qEnvironmentVariable("WRENLARK_TEST_SANDBOX") + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    image.save(QStringLiteral("%1/%2-scale%3.png").arg(folder, name).arg(scale));
}

// The overlay's dimming over `colour`: darker, same hue.
bool isDimmed(const QColor &seen, const QColor &colour)
{
    const auto dimmedChannel = [](int seenChannel, int channel) {
        return channel == 0 ? seenChannel == 0
                            : seenChannel > channel / 2 && seenChannel < channel * 3 / 4;
    };
    return dimmedChannel(seen.red(), colour.red()) && dimmedChannel(seen.green(), colour.green()) &&
           dimmedChannel(seen.blue(), colour.blue());
}

// Whether every colour of `rows` shows somewhere in `image`.
bool containsAll(const QImage &image, const QList<QList<QColor>> &rows)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            seen.insert(image.pixel(x, y) | 0xff000000u);
    }
    for (const QList<QColor> &row : rows) {
        for (const QColor &colour : row) {
            if (!seen.contains(colour.rgb()))
                return false;
        }
    }
    return true;
}

QString payloadValue(const QJsonObject &signal, const QString &parameter)
{
    const QJsonObject payload = signal.value(QStringLiteral("payload")).toObject();
    for (auto it = payload.constBegin(); it != payload.constEnd(); ++it) {
        if (it.key() == parameter || it.key().endsWith(u'.' + parameter))
            return it.value().toString();
    }
    return {};
}

// The PNG of the first image part of a chat request's messages.
QByteArray imageOfRequest(const QJsonObject &body)
{
    const QString prefix = QStringLiteral("data:image/png;base64,");
    for (const QJsonValue &message : body.value(QStringLiteral("messages")).toArray()) {
        for (const QJsonValue &part :
             message.toObject().value(QStringLiteral("content")).toArray()) {
            const QString url = part.toObject()
                                    .value(QStringLiteral("image_url"))
                                    .toObject()
                                    .value(QStringLiteral("url"))
                                    .toString();
            if (url.startsWith(prefix))
                return QByteArray::fromBase64(url.mid(prefix.size()).toLatin1(),
                                              QByteArray::AbortOnBase64DecodingErrors);
        }
    }
    return {};
}

} // namespace

class CaptureRoadTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void dragAttachesTheRegionToTheRequest();
    void escapeDuringTheDragOpensNothing();
    void clickWithoutDragOpensNothing();
    void captureOverAnOpenBarEndsItsSession();

private:
    // Logical (Qt) coordinates to the X server's, which xdotool speaks.
    QPoint device(const QPoint &logical) const { return logical * m_ratio; }
    bool moveMouse(const QPoint &logical);
    // Runs `wrenlark capture` and waits until the overlay covers the screen,
    // dimmed, and holds the keyboard.
    bool startCapture();
    // Presses at `from` and moves to `to`, leaving the button down.
    bool dragTo(const QPoint &from, const QPoint &to);
    QStringList endReasons() const;
    int requestCount() const { return int(m_server.requestsTo("/openai/v1/chat").size()); }
    // Nothing of ours on the screen: no overlay and no bar.
    bool nothingShown() const { return visibleWindows(m_app->pid()).isEmpty(); }
    // Over a short watch: nothing appears and no request goes out.
    void verifyNothingFollows(int requestsBefore);

    TestHttpServer m_server;
    std::unique_ptr<ResidentApp> m_app;
    std::unique_ptr<ColouredWindow> m_window;
    QPoint m_origin;
    qreal m_ratio = 1.0;
};

void CaptureRoadTest::initTestCase()
{
    if (const auto reason = unavailableReason())
        QSKIP(qPrintable(*reason));
    // Low on the left, where the bar's header does not cover it (at scale 2
    // too: 640x400 logical pixels).
    m_window = std::make_unique<ColouredWindow>(
        QList<QList<QColor>>{{Qt::red, Qt::green}, {Qt::blue, Qt::yellow}});
    m_window->setGeometry(10, 260, 200, 120);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    settle(300);
    m_origin = m_window->mapToGlobal(QPoint(0, 0));
    m_ratio = m_window->devicePixelRatioF();
    qInfo("Device pixel ratio %g", m_ratio);

    // Analytics that are never delivered stay in the queue the test reads.
    m_server.setDefault("POST", "/analytics",
                        TestHttpServer::Response::body(503, "{}", "application/json"));
    m_app = std::make_unique<ResidentApp>();
    m_app->setSetting(QStringLiteral("did_complete_onboarding"), true);
    QVERIFY(m_app->configureProvider(m_server.url(QStringLiteral("/openai/v1/chat"))));
    QVERIFY(m_app->setAnalyticsEndpoint(m_server.url(QStringLiteral("/analytics"))));
    QVERIFY(m_app->start());
}

void CaptureRoadTest::cleanupTestCase()
{
    m_app.reset();
}

void CaptureRoadTest::cleanup()
{
    // A failed case leaves no overlay or bar to the next one.
    if (m_app && !nothingShown()) {
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
        QTRY_VERIFY_WITH_TIMEOUT(nothingShown(), 5000);
    }
}

bool CaptureRoadTest::moveMouse(const QPoint &logical)
{
    const QPoint p = device(logical);
    return xdotool({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
}

bool CaptureRoadTest::startCapture()
{
    // The pointer rests away from the coloured window: the first press
    // comes after the overlay is there.
    moveMouse(m_origin + QPoint(300, -100));
    const ResidentApp::Result command = m_app->runCommand({QStringLiteral("capture")});
    if (command.exitCode != 0) {
        qWarning("wrenlark capture: %s", command.errors.constData());
        return false;
    }
    const QPoint inside = device(m_origin + QPoint(10, 10));
    return QTest::qWaitFor(
        [&] {
            return visibleWindows(m_app->pid(), overlayTitle).size() == 1 &&
                   activeWindowPid() == m_app->pid() &&
                   isDimmed(screenNow().pixelColor(inside), Qt::red);
        },
        10000);
}

bool CaptureRoadTest::dragTo(const QPoint &from, const QPoint &to)
{
    return moveMouse(from) && xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}) &&
           moveMouse((from + to) / 2) && moveMouse(to);
}

QStringList CaptureRoadTest::endReasons() const
{
    QStringList reasons;
    for (const QJsonObject &signal : m_app->queuedAnalytics()) {
        if (signal.value(QStringLiteral("type"))
                .toString()
                .endsWith(QLatin1String("UsageSession.ended")))
            reasons.append(payloadValue(signal, QStringLiteral("endReason")));
    }
    return reasons;
}

void CaptureRoadTest::verifyNothingFollows(int requestsBefore)
{
    QElapsedTimer watched;
    watched.start();
    while (watched.elapsed() < 1500) {
        QVERIFY(nothingShown());
        QCOMPARE(requestCount(), requestsBefore);
        settle(100);
    }
    QCOMPARE(m_app->diagnostics().value(QStringLiteral("bar_visible")), QVariant(false));
}

void CaptureRoadTest::dragAttachesTheRegionToTheRequest()
{
    m_server.enqueue("POST", "/openai/v1/chat",
                     TestHttpServer::Response::eventStream(
                         {delta(QStringLiteral("Four ")), delta(QStringLiteral("colours.")),
                          TestHttpServer::sseData(QByteArrayLiteral("[DONE]"))},
                         50));
    const int before = requestCount();
    QVERIFY(startCapture());
    // 100x60 across the middle of the four blocks, 50x30 of each.
    const QPoint topLeft = m_origin + QPoint(50, 30);
    const QPoint bottomRight = topLeft + QPoint(100, 60);
    QVERIFY(dragTo(topLeft, bottomRight));
    // Mid-drag: the region shows clear inside a white outline, the rest dimmed.
    QImage shot;
    QVERIFY(QTest::qWaitFor(
        [&] {
            shot = screenNow();
            return shot.pixelColor(device(topLeft + QPoint(10, 10))) == QColor(Qt::red) &&
                   shot.pixelColor(device(bottomRight - QPoint(10, 10))) == QColor(Qt::yellow);
        },
        5000));
    saveScreenshot(shot, QStringLiteral("capture-overlay-mid-drag"), m_ratio);
    const QColor outline = shot.pixelColor(device(topLeft + QPoint(30, 0)));
    QVERIFY2(outline.red() > 240 && outline.green() > 200 && outline.blue() > 200,
             qPrintable(outline.name()));
    QVERIFY(isDimmed(shot.pixelColor(device(m_origin + QPoint(10, 10))), Qt::red));
    QVERIFY(isDimmed(shot.pixelColor(device(m_origin + QPoint(190, 110))), Qt::yellow));
    QVERIFY(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));

    // The bar opens with the image, ready for the instruction.
    QTRY_VERIFY_WITH_TIMEOUT(
        readAccessible(QStringLiteral("wrenlark"), QStringLiteral("Instruction"))
            .startsWith(QStringLiteral("text")),
        10000);
    QTRY_COMPARE_WITH_TIMEOUT(activeWindowPid(), m_app->pid(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(m_app->pid(), overlayTitle).isEmpty(), 5000);
    // The capture's thumbnail heads the bar until the request takes it.
    const QStringList bar = visibleWindows(m_app->pid());
    QCOMPARE(bar.size(), 1);
    const QRect barRect = windowGeometry(bar.first());
    QImage barShot;
    const QRect header(barRect.topLeft(), QSize(barRect.width(), int(48 * m_ratio)));
    QVERIFY(!header.intersects(QRect(device(m_origin), m_window->size() * m_ratio)));
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     barShot = screenNow();
                     return containsAll(barShot.copy(header), m_window->rows());
                 },
                 5000),
             "no thumbnail of the capture in the bar's header");
    saveScreenshot(barShot, QStringLiteral("capture-bar-with-thumbnail"), m_ratio);

    QVERIFY(xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"),
                     QStringLiteral("which colours")}));
    QTRY_VERIFY_WITH_TIMEOUT(
        readAccessible(QStringLiteral("wrenlark"), QStringLiteral("Instruction"))
            .endsWith(QStringLiteral("which colours")),
        10000);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Return")}));
    QTRY_COMPARE_WITH_TIMEOUT(requestCount(), before + 1, 10000);

    const QByteArray png = imageOfRequest(m_server.requestsTo("/openai/v1/chat").last().jsonBody());
    QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
    const QImage image = QImage::fromData(png, "PNG");
    QCOMPARE(image.size(), QSize(100, 60) * m_ratio);
    // The window's own colours, undimmed, up to each seam.
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    const QPoint seam(image.width() / 2, image.height() / 2);
    const QList<std::pair<QPoint, QColor>> expected{
        {{0, 0}, Qt::red},
        {{seam.x() - 1, seam.y() - 1}, Qt::red},
        {{seam.x(), 0}, Qt::green},
        {{right, seam.y() - 1}, Qt::green},
        {{0, seam.y()}, Qt::blue},
        {{seam.x() - 1, bottom}, Qt::blue},
        {{seam.x(), seam.y()}, Qt::yellow},
        {{right, bottom}, Qt::yellow},
    };
    for (const auto &[point, colour] : expected)
        QCOMPARE(image.pixelColor(point), colour);

    QTRY_VERIFY_WITH_TIMEOUT(readAccessible(QStringLiteral("wrenlark"), QStringLiteral("Response"))
                                 .endsWith(QStringLiteral("Four colours.")),
                             15000);
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_VERIFY_WITH_TIMEOUT(nothingShown(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(endReasons().value(endReasons().size() - 1),
                              QStringLiteral("escape_key"), 5000);
}

void CaptureRoadTest::escapeDuringTheDragOpensNothing()
{
    const int before = requestCount();
    QVERIFY(startCapture());
    QVERIFY(dragTo(m_origin + QPoint(30, 30), m_origin + QPoint(150, 100)));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(m_app->pid(), overlayTitle).isEmpty(), 5000);
    QVERIFY(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    verifyNothingFollows(before);
}

void CaptureRoadTest::clickWithoutDragOpensNothing()
{
    const int before = requestCount();
    QVERIFY(startCapture());
    QVERIFY(moveMouse(m_origin + QPoint(100, 100)));
    QVERIFY(xdotool({QStringLiteral("click"), QStringLiteral("1")}));
    QTRY_VERIFY_WITH_TIMEOUT(visibleWindows(m_app->pid(), overlayTitle).isEmpty(), 5000);
    verifyNothingFollows(before);
}

void CaptureRoadTest::captureOverAnOpenBarEndsItsSession()
{
    QCOMPARE(m_app->runCommand({QStringLiteral("toggle")}).exitCode, 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_app->diagnostics().value(QStringLiteral("bar_visible")),
                              QVariant(true), 5000);
    const qsizetype endedBefore = endReasons().size();
    // The bar goes first; the overlay then shows the screen without it.
    QVERIFY(startCapture());
    QTRY_COMPARE_WITH_TIMEOUT(endReasons().size(), endedBefore + 1, 5000);
    QCOMPARE(endReasons().constLast(), QStringLiteral("screen_selection_shortcut"));
    QCOMPARE(visibleWindows(m_app->pid()).size(), 1);

    const QPoint from = m_origin + QPoint(20, 20);
    QVERIFY(dragTo(from, from + QPoint(40, 30)));
    QVERIFY(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    QTRY_COMPARE_WITH_TIMEOUT(m_app->diagnostics().value(QStringLiteral("bar_visible")),
                              QVariant(true), 10000);
    // The new session is the capture's, with its image.
    const auto lastStarted = [this] {
        QJsonObject started;
        for (const QJsonObject &signal : m_app->queuedAnalytics()) {
            if (signal.value(QStringLiteral("type"))
                    .toString()
                    .endsWith(QLatin1String("UsageSession.started")))
                started = signal;
        }
        return started;
    };
    QTRY_COMPARE_WITH_TIMEOUT(payloadValue(lastStarted(), QStringLiteral("entryPoint")),
                              QStringLiteral("screen_selection"), 5000);
    QCOMPARE(payloadValue(lastStarted(), QStringLiteral("hasImageContext")),
             QStringLiteral("true"));
    QVERIFY(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    QTRY_VERIFY_WITH_TIMEOUT(nothingShown(), 5000);
}

int main(int argc, char *argv[])
{
    preparePlatform();
    QApplication app(argc, argv);
    CaptureRoadTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_capture_road.moc"
