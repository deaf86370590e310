#include "platform/linux/capture/PortalScreenCaptureService.h"
#include "platform/linux/wayland/WaylandWindowExport.h"
#include "support/DesktopTestSession.h"
#include "support/StandInPortal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace {

QRect desktopGeometry()
{
    QRect desktop;
    for (QScreen *screen : QGuiApplication::screens())
        desktop = desktop.united(screen->geometry());
    return desktop;
}

} // namespace

// A stand-in for xdg-desktop-portal's Screenshot interface on its own bus
// connection: it answers on the request path the portal would use, with a
// picture of the whole desktop at scale 2 (left half red, right half blue).
class FakeScreenshotPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")

public:
    explicit FakeScreenshotPortal(const QString &folder)
        : m_folder(folder)
        , m_portal(QStringLiteral("fake-portal"))
    {
    }

    bool start() { return m_portal.serve(this, QDBusConnection::ExportAllSlots); }

    uint response = 0;
    QString lastParentWindow;
    QVariantMap lastOptions;
    QString pictureFile;

public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString &parentWindow, const QVariantMap &options,
                               const QDBusMessage &message)
    {
        lastParentWindow = parentWindow;
        lastOptions = options;
        const QString request = StandInPortal::requestPath(
            message, options.value(QStringLiteral("handle_token")).toString());
        pictureFile = m_folder + QStringLiteral("/Screenshot.png");
        QImage picture(desktopGeometry().size() * 2, QImage::Format_RGB32);
        QPainter painter(&picture);
        painter.fillRect(0, 0, picture.width() / 2, picture.height(), Qt::red);
        painter.fillRect(picture.width() / 2, 0, picture.width() / 2, picture.height(), Qt::blue);
        painter.end();
        picture.save(pictureFile);
        // The answer comes after the reply, as the portal's does.
        QTimer::singleShot(0, this, [this, request] {
            QDBusMessage signal = QDBusMessage::createSignal(
                request, QStringLiteral("org.freedesktop.portal.Request"),
                QStringLiteral("Response"));
            signal << response
                   << QVariantMap{
                          {QStringLiteral("uri"), QUrl::fromLocalFile(pictureFile).toString()}};
            m_portal.bus().send(signal);
        });
        return QDBusObjectPath(request);
    }

private:
    QString m_folder;
    StandInPortal m_portal;
};

// The Screenshot portal road on a private session bus.
class ScreenshotPortalTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void withoutPortalTheMessageSaysSo();
    void portalPictureBecomesTheScreensImages();
    void decliningThePromptIsACancellation();
    void parentWindowIsOurActiveWindow();

private:
    static std::optional<ScreenGrabResult> grab();
};

void ScreenshotPortalTest::initTestCase()
{
    if (const auto reason = DesktopTestSession::unavailableReason())
        QSKIP(qPrintable(*reason));
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

std::optional<ScreenGrabResult> ScreenshotPortalTest::grab()
{
    std::optional<ScreenGrabResult> result;
    WaylandWindowExporter exporter;
    PortalScreenCaptureService service(exporter);
    service.grabScreens([&result](ScreenGrabResult r) { result = std::move(r); });
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 10000))
        qWarning("The portal request did not finish.");
    return result;
}

void ScreenshotPortalTest::withoutPortalTheMessageSaysSo()
{
    if (StandInPortal::isTaken())
        QSKIP("a screenshot portal runs on this bus");
    const std::optional<ScreenGrabResult> result = grab();
    QVERIFY(result);
    QVERIFY(!result->succeeded());
    QVERIFY(!result->cancelled);
    QVERIFY(result->grab.screens.isEmpty());
    QVERIFY2(result->error.contains(QStringLiteral("portal")), qPrintable(result->error));
}

void ScreenshotPortalTest::portalPictureBecomesTheScreensImages()
{
    QTemporaryDir folder;
    FakeScreenshotPortal portal(folder.path());
    QVERIFY(portal.start());
    const std::optional<ScreenGrabResult> result = grab();
    QVERIFY(result);
    QVERIFY2(result->succeeded(), qPrintable(result->error));
    QCOMPARE(portal.lastOptions.value(QStringLiteral("interactive")), QVariant(false));
    QVERIFY(!QFile::exists(portal.pictureFile));

    QCOMPARE(result->grab.screens.size(), QGuiApplication::screens().size());
    const ScreenImage &screen = result->grab.screens.first();
    QCOMPARE(screen.devicePixelRatio, 2.0);
    // A region across the picture's seam, cut at the picture's scale.
    const QRect desktop = desktopGeometry();
    const QPoint seam(desktop.center().x() + 1, desktop.top() + 10);
    WaylandWindowExporter exporter;
    PortalScreenCaptureService service(exporter);
    const CapturedRegion region = service.encodeRegion(result->grab, screen.screenName,
                                                       QRectF(seam.x() - 10, seam.y(), 20, 10));
    QVERIFY2(region.succeeded(), qPrintable(region.error));
    const QImage image = QImage::fromData(region.png, "PNG");
    QCOMPARE(image.size(), QSize(40, 20));
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(image.pixelColor(39, 19), QColor(Qt::blue));
}

void ScreenshotPortalTest::decliningThePromptIsACancellation()
{
    QTemporaryDir folder;
    FakeScreenshotPortal portal(folder.path());
    portal.response = 1;
    QVERIFY(portal.start());
    const std::optional<ScreenGrabResult> result = grab();
    QVERIFY(result);
    QVERIFY(result->cancelled);
    QVERIFY(result->error.isEmpty());
    QVERIFY(!result->succeeded());
}

void ScreenshotPortalTest::parentWindowIsOurActiveWindow()
{
    QTemporaryDir folder;
    FakeScreenshotPortal portal(folder.path());
    QVERIFY(portal.start());
    portal.lastParentWindow = QStringLiteral("unset");
    QVERIFY(grab());
    QCOMPARE(portal.lastParentWindow, QString());

    QWindow window;
    window.setGeometry(40, 40, 200, 120);
    window.show();
    window.requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QString parent = QStringLiteral("x11:") + QString::number(window.winId(), 16);
    QVERIFY(grab());
    QCOMPARE(portal.lastParentWindow, parent);

    // From a dialog of ours, the window it belongs to.
    QWindow dialog;
    dialog.setTransientParent(&window);
    dialog.setGeometry(80, 80, 120, 60);
    dialog.show();
    dialog.requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QVERIFY(grab());
    QCOMPARE(portal.lastParentWindow, parent);
}

int main(int argc, char *argv[])
{
    DesktopTestSession::preparePlatform();
    QGuiApplication app(argc, argv);
    ScreenshotPortalTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_screenshot_portal.moc"
