// Screen capture through the real Screenshot portal on sway: xdg-desktop-portal
// with its wlr backend (grim underneath), brought up on the private bus by
// tests/support/wayland-session with WRENLARK_WAYLAND_PORTALS=1. This process
// is a native Wayland client showing blocks of known colours; the grab must
// hold them where sway put the window, at the outputs' scale, on every output.
#include "../capture/ColouredWindow.h"
#include "SwayTree.h"
#include "platform/linux/capture/PortalScreenCaptureService.h"
#include "platform/linux/capture/ScreenImageCodec.h"
#include "platform/linux/wayland/WaylandWindowExport.h"
#include "support/DesktopTestSession.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLockFile>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using DesktopTestSession::run;

namespace {

const QString portalName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString windowTitle = QStringLiteral("Coloured blocks");

std::optional<QString> unavailableReason()
{
    if (qEnvironmentVariable("WRENLARK_WAYLAND_SESSION") != QLatin1String("1"))
        return QStringLiteral("needs the Wayland desktop: run under tests/support/wayland-session");
    if (qEnvironmentVariable("WRENLARK_WAYLAND_PORTALS") != QLatin1String("1"))
        return QStringLiteral("needs the desktop portal: set WRENLARK_WAYLAND_PORTALS=1 for "
                              "tests/support/wayland-session");
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms/libqwayland-generic.so")))
        return QStringLiteral("Qt's Wayland platform plugin (qt6-wayland) is not installed");
    return std::nullopt;
}

// Starts `program` in place of the owner of the bus name `name` and waits
// until it owns the name.
bool replaceService(QProcess &process, const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment, const QString &name)
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const QString before = bus->serviceOwner(name).value();
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return false;
    const auto replaced = [&] {
        const QString owner = bus->serviceOwner(name).value();
        return !owner.isEmpty() && owner != before;
    };
    return QTest::qWaitFor(replaced, 10000);
}

bool swaymsg(const QString &command)
{
    return run(QStringLiteral("swaymsg"), {command}).exitCode == 0;
}

QString portalLog()
{
    QFile log(qEnvironmentVariable("WRENLARK_WAYLAND_PORTAL_LOG"));
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

std::optional<ScreenGrabResult> grab(int timeoutMs = 20000)
{
    std::optional<ScreenGrabResult> result;
    WaylandWindowExporter exporter;
    PortalScreenCaptureService service(exporter);
    QElapsedTimer clock;
    clock.start();
    service.grabScreens([&result](ScreenGrabResult r) { result = std::move(r); });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, timeoutMs))
        qWarning("The portal request did not finish.");
    else
        qInfo("The portal answered in %lld ms.", qlonglong(clock.elapsed()));
    return result;
}

std::optional<SwayView> ourView()
{
    for (const SwayView &view : SwayTree::viewsOf(QCoreApplication::applicationPid())) {
        if (view.name == windowTitle)
            return view;
    }
    return std::nullopt;
}

QRect ourRect()
{
    const std::optional<SwayView> view = ourView();
    return view ? view->rect : QRect();
}

QScreen *screenNamed(const QString &name)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->name() == name)
            return screen;
    }
    return nullptr;
}

// The colour of the grab at desktop point `point`, from the screen holding it.
QColor colourAt(const ScreenGrab &grab, QPoint point)
{
    for (const ScreenImage &screen : grab.screens) {
        if (!screen.geometry.contains(point))
            continue;
        const QPointF pixel = QPointF(point - screen.geometry.topLeft()) * screen.devicePixelRatio;
        return ScreenImageCodec::toImage(screen).pixelColor(pixel.toPoint());
    }
    return {};
}

} // namespace

class WaylandScreenshotTest : public QObject
{
    Q_OBJECT

    // Two rows of two blocks: a wrong place, a mirror or a wrong scale of
    // the picture shows as a wrong colour somewhere.
    ColouredWindow m_window{{{Qt::red, Qt::green}, {Qt::blue, Qt::yellow}}};

private Q_SLOTS:
    void initTestCase();
    void grabHoldsTheWindowWhereSwayPutIt();
    void grabAtScaleHoldsTheScaledPixels_data();
    void grabAtScaleHoldsTheScaledPixels();
    void secondOutputIsASecondScreen();
    void failedScreenshotIsAFailure();
    void withoutScreenshotBackendTheMessageSaysSo();

private:
    bool placeWindow(const QString &output, QPoint position);
    void checkGrab(const ScreenGrab &grab);
};

void WaylandScreenshotTest::initTestCase()
{
    if (const auto reason = unavailableReason())
        QSKIP(qPrintable(*reason));
    QVERIFY2(QDBusConnection::sessionBus().interface()->isServiceRegistered(portalName),
             qPrintable(portalLog()));
    QVERIFY(PortalScreenCaptureService::isOffered());
    m_window.setWindowTitle(windowTitle);
    m_window.resize(400, 300);
    m_window.show();
    QTRY_VERIFY_WITH_TIMEOUT(ourView().has_value(), 10000);
    // Floating and without sway's border and title bar, the window's place in
    // the tree is the place of its pixels.
    QVERIFY(
        swaymsg(QStringLiteral("[title=\"%1\"] floating enable, border none").arg(windowTitle)));
}

// Puts the window at `position` of `output` (logical coordinates) and waits
// until sway has it there and it has painted at its size.
bool WaylandScreenshotTest::placeWindow(const QString &output, QPoint position)
{
    QScreen *screen = screenNamed(output);
    if (!screen)
        return false;
    const QPoint target = screen->geometry().topLeft() + position;
    const QString criteria = QStringLiteral("[title=\"%1\"] ").arg(windowTitle);
    if (!swaymsg(criteria + QStringLiteral("move container to output ") + output) ||
        !swaymsg(criteria + QStringLiteral("resize set 400 300, move position %1 %2")
                                .arg(position.x())
                                .arg(position.y())))
        return false;
    const QRect expected(target, QSize(400, 300));
    if (!QTest::qWaitFor(
            [&] { return ourRect() == expected && m_window.size() == QSize(400, 300); }, 10000)) {
        qWarning() << "sway has the window at" << ourRect() << "not" << expected;
        return false;
    }
    m_window.repaint();
    // Nothing tells a client when the compositor has shown its frame.
    DesktopTestSession::settle(500);
    return true;
}

// Each screen's image is that screen at the picture's scale, and the
// window's blocks are where sway put it.
void WaylandScreenshotTest::checkGrab(const ScreenGrab &grab)
{
    // grim draws every output at the largest of sway's output scales, a
    // fractional one too (which Qt, on the integer scale the Wayland output
    // reports, does not know).
    qreal scale = 1.0;
    for (const SwayOutput &output : SwayTree::outputs())
        scale = std::max(scale, output.scale);
    const QList<QScreen *> screens = QGuiApplication::screens();
    QCOMPARE(grab.screens.size(), screens.size());
    for (QScreen *screen : screens) {
        const ScreenImage *image = grab.screenNamed(screen->name());
        QVERIFY2(image, qPrintable(screen->name()));
        QCOMPARE(image->geometry, screen->geometry());
        QVERIFY2(qAbs(image->devicePixelRatio - scale) < 0.01,
                 qPrintable(QString::number(image->devicePixelRatio)));
        QVERIFY(qAbs(image->width - screen->geometry().width() * scale) <= 1.0);
        QVERIFY(qAbs(image->height - screen->geometry().height() * scale) <= 1.0);
    }

    const QRect window = ourRect();
    const QPoint quarter(window.width() / 4, window.height() / 4);
    QCOMPARE(colourAt(grab, window.topLeft() + quarter), QColor(Qt::red));
    QCOMPARE(colourAt(grab, window.topRight() + QPoint(-quarter.x(), quarter.y())),
             QColor(Qt::green));
    QCOMPARE(colourAt(grab, window.bottomLeft() + QPoint(quarter.x(), -quarter.y())),
             QColor(Qt::blue));
    QCOMPARE(colourAt(grab, window.bottomRight() - quarter), QColor(Qt::yellow));

    // A region around the window's centre, cut as the overlay cuts it: a
    // block of each colour, in its corner, at the picture's scale.
    const QScreen *screen = QGuiApplication::screenAt(window.center());
    QVERIFY(screen);
    WaylandWindowExporter exporter;
    PortalScreenCaptureService service(exporter);
    const QRectF rect(QPointF(window.center() - QPoint(20, 10)), QSizeF(40, 20));
    const CapturedRegion region = service.encodeRegion(grab, screen->name(), rect);
    QVERIFY2(region.succeeded(), qPrintable(region.error));
    const QImage cut = QImage::fromData(region.png, "PNG");
    QVERIFY2(qAbs(cut.width() - 40 * scale) <= 1.0 && qAbs(cut.height() - 20 * scale) <= 1.0,
             qPrintable(QStringLiteral("%1x%2").arg(cut.width()).arg(cut.height())));
    QCOMPARE(cut.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(cut.pixelColor(cut.width() - 1, 0), QColor(Qt::green));
    QCOMPARE(cut.pixelColor(0, cut.height() - 1), QColor(Qt::blue));
    QCOMPARE(cut.pixelColor(cut.width() - 1, cut.height() - 1), QColor(Qt::yellow));
}

void WaylandScreenshotTest::grabHoldsTheWindowWhereSwayPutIt()
{
    QCOMPARE(QGuiApplication::screens().size(), 1);
    QScreen *screen = QGuiApplication::primaryScreen();
    QCOMPARE(screen->geometry(), SwayTree::outputRect());
    QVERIFY(placeWindow(screen->name(), QPoint(200, 150)));

    const std::optional<ScreenGrabResult> result = grab();
    QVERIFY(result);
    QVERIFY2(result->succeeded(), qPrintable(result->error + u'\n' + portalLog()));
    checkGrab(result->grab);
}

void WaylandScreenshotTest::grabAtScaleHoldsTheScaledPixels_data()
{
    QTest::addColumn<QString>("scale");
    QTest::newRow("2") << QStringLiteral("2");
    QTest::newRow("1.5") << QStringLiteral("1.5");
}

void WaylandScreenshotTest::grabAtScaleHoldsTheScaledPixels()
{
    QFETCH(QString, scale);
    QScreen *screen = QGuiApplication::primaryScreen();
    const QString output = screen->name();
    QVERIFY(swaymsg(QStringLiteral("output %1 scale %2").arg(output, scale)));
    QTRY_VERIFY_WITH_TIMEOUT(SwayTree::outputRect().width() < 1280, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(screen->geometry(), SwayTree::outputRect(), 10000);
    QVERIFY(placeWindow(output, QPoint(100, 50)));

    const std::optional<ScreenGrabResult> result = grab();
    QVERIFY(result);
    QVERIFY2(result->succeeded(), qPrintable(result->error));
    checkGrab(result->grab);
    QVERIFY(swaymsg(QStringLiteral("output %1 scale 1").arg(output)));
    QTRY_COMPARE_WITH_TIMEOUT(screen->geometry().width(), 1280, 10000);
}

// A second output at scale 1 beside the first at scale 2, lower and larger
// than it, neither at the desktop's origin: grim's picture spans the box
// around both, so the split must follow the screens' places in it.
void WaylandScreenshotTest::secondOutputIsASecondScreen()
{
    QScreen *first = QGuiApplication::primaryScreen();
    QVERIFY(swaymsg(QStringLiteral("create_output")));
    QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::screens().size(), 2, 10000);
    QScreen *second = QGuiApplication::screens().constLast();
    QVERIFY(swaymsg(QStringLiteral("output %1 position 100 150 scale 2").arg(first->name())));
    QVERIFY(swaymsg(
        QStringLiteral("output %1 resolution 800x600 position 740 0 scale 1").arg(second->name())));
    QTRY_COMPARE_WITH_TIMEOUT(first->geometry(), QRect(100, 150, 640, 400), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(second->geometry(), QRect(740, 0, 800, 600), 10000);

    QVERIFY(placeWindow(second->name(), QPoint(300, 200)));
    std::optional<ScreenGrabResult> result = grab();
    QVERIFY(result);
    QVERIFY2(result->succeeded(), qPrintable(result->error));
    checkGrab(result->grab);
    if (QTest::currentTestFailed())
        return;

    QVERIFY(placeWindow(first->name(), QPoint(150, 50)));
    result = grab();
    QVERIFY(result);
    QVERIFY2(result->succeeded(), qPrintable(result->error));
    checkGrab(result->grab);
}

// The backend's screenshot tool fails (as grim does when it cannot write
// the backend's fixed /tmp/out.png): the portal answers with an error, which
// is a failure, neither a cancellation nor an old picture.
void WaylandScreenshotTest::failedScreenshotIsAFailure()
{
    QTemporaryDir tools;
    QVERIFY(tools.isValid());
    QFile grim(tools.filePath(QStringLiteral("grim")));
    QVERIFY(grim.open(QIODevice::WriteOnly));
    grim.write("#!/bin/sh\nexit 1\n");
    grim.close();
    grim.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       tools.path() + u':' + environment.value(QStringLiteral("PATH")));
    QProcess backend;
    QVERIFY(replaceService(backend, QStringLiteral("/usr/libexec/xdg-desktop-portal-wlr"),
                           {QStringLiteral("--replace")}, environment,
                           QStringLiteral("org.freedesktop.impl.portal.desktop.wlr")));

    const std::optional<ScreenGrabResult> result = grab();
    backend.kill();
    backend.waitForFinished(5000);
    QVERIFY(result);
    QVERIFY(!result->succeeded());
    QVERIFY(!result->cancelled);
    QVERIFY(result->grab.screens.isEmpty());
    QVERIFY(!result->error.isEmpty());
}

// The portal runs but has no screenshot backend for this desktop (as when
// xdg-desktop-portal-wlr is missing or exits for want of PipeWire): a clear
// failure at once, not a wait for the response timeout.
void WaylandScreenshotTest::withoutScreenshotBackendTheMessageSaysSo()
{
    QTemporaryDir noBackends;
    QVERIFY(noBackends.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DESKTOP_PORTAL_DIR"), noBackends.path());
    QProcess portal;
    QVERIFY(replaceService(portal, QStringLiteral("/usr/libexec/xdg-desktop-portal"),
                           {QStringLiteral("--replace")}, environment, portalName));
    // What the setup window and `wrenlark doctor` are told beforehand.
    QVERIFY(!PortalScreenCaptureService::isOffered());

    const std::optional<ScreenGrabResult> result =
        grab(PortalScreenCaptureService::responseTimeout.count() / 2);
    portal.kill();
    portal.waitForFinished(5000);
    QVERIFY(result);
    QVERIFY(!result->succeeded());
    QVERIFY(!result->cancelled);
    QVERIFY2(result->error.contains(QStringLiteral("backend")), qPrintable(result->error));
}

// xdg-desktop-portal-wlr has grim write every screenshot to one fixed path
// in /tmp; a file there that another user left behind makes every screenshot
// of this one fail.
std::optional<QString> sharedPictureBlocked()
{
    const QFileInfo picture(QStringLiteral("/tmp/out.png"));
    if (!picture.exists() || (picture.ownerId() == ::getuid() && picture.isWritable()))
        return std::nullopt;
    return QStringLiteral("/tmp/out.png belongs to another user; xdg-desktop-portal-wlr writes "
                          "every screenshot there and cannot replace it. Remove it to run "
                          "this test.");
}

int main(int argc, char *argv[])
{
    if (const auto reason = sharedPictureBlocked()) {
        std::fprintf(stderr, "SKIP: %s\n", qPrintable(*reason));
        return 77;
    }
    // Runs of this test from other build trees would share that path too.
    const QString lockPath = QStringLiteral("/tmp/wrenlark-portal-screenshot-test.lock");
    QLockFile lock(lockPath);
    lock.setStaleLockTime(0); // stale only when its process is gone
    if (!lock.tryLock(120000)) {
        std::fprintf(stderr, "Another run of this test holds %s\n", qPrintable(lockPath));
        return 1;
    }
    // CTest chooses the offscreen platform; this test is a Wayland client.
    if (qEnvironmentVariable("WRENLARK_WAYLAND_SESSION") == QLatin1String("1"))
        qputenv("QT_QPA_PLATFORM", "wayland");
    QApplication app(argc, argv);
    WaylandScreenshotTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_wayland_screenshot.moc"
