#include "platform/linux/capture/PortalScreenshotRequest.h"

#include "core/support/Logging.h"
#include "platform/linux/capture/ScreenImageCodec.h"
#include "platform/linux/portal/PortalRequestPath.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QUrl>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// The portal's picture covers the whole desktop; each screen's part of it,
// at the picture's own scale, becomes that screen's image.
ScreenGrab splitIntoScreens(const QImage &desktop)
{
    ScreenGrab grab;
    const QList<QScreen *> screens = QGuiApplication::screens();
    QRect desktopGeometry;
    for (QScreen *screen : screens)
        desktopGeometry = desktopGeometry.united(screen->geometry());
    if (desktopGeometry.isEmpty() || desktop.isNull())
        return grab;
    const qreal scale = qreal(desktop.width()) / desktopGeometry.width();
    for (QScreen *screen : screens) {
        const QRectF local = QRectF(screen->geometry()).translated(-desktopGeometry.topLeft());
        const QRect pixels = QRectF(local.topLeft() * scale, local.size() * scale)
                                 .toAlignedRect()
                                 .intersected(desktop.rect());
        if (!pixels.isEmpty())
            grab.screens.append(ScreenImageCodec::fromImage(desktop.copy(pixels), screen->name(),
                                                            screen->geometry()));
    }
    return grab;
}

} // namespace

PortalScreenshotRequest::PortalScreenshotRequest(ScreenCaptureService::GrabCallback done,
                                                 std::chrono::milliseconds timeout,
                                                 QString parentWindow)
    : m_done(std::move(done))
    , m_parentWindow(std::move(parentWindow))
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeout);
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { fail(tr("The desktop did not answer the screenshot request in time.")); });
}

void PortalScreenshotRequest::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fail(tr("Screen capture needs the session bus, which is not reachable."));
        return;
    }
    const QString token = portalHandleToken();
    // Listen before calling: the answer may come before the call's reply.
    subscribe(portalRequestPath(token));
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, screenshotInterface, QStringLiteral("Screenshot"));
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("interactive"), false}};
    call << m_parentWindow << options;
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            &PortalScreenshotRequest::handleReply);
    m_timeout.start();
}

void PortalScreenshotRequest::handleReply(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        const QDBusError::ErrorType type = reply.error().type();
        if (type == QDBusError::ServiceUnknown) {
            fail(tr("Screen capture needs the desktop's screenshot portal "
                    "(xdg-desktop-portal), and none is running."));
        } else if (type == QDBusError::UnknownInterface || type == QDBusError::UnknownMethod ||
                   type == QDBusError::UnknownObject) {
            // The portal offers only what a backend for this desktop serves.
            fail(tr("The desktop portal runs but takes no screenshots here: its backend for "
                    "this desktop (xdg-desktop-portal-wlr on sway, for one) is missing or "
                    "did not start."));
        } else {
            fail(tr("The desktop refused the screenshot: %1").arg(reply.error().message()));
        }
        return;
    }
    // Portals older than the handle_token convention pick their own path.
    const QString path = reply.value().path();
    if (path != m_requestPath) {
        unsubscribe();
        subscribe(path);
    }
}

void PortalScreenshotRequest::handleResponse(uint response, const QVariantMap &results)
{
    if (response == 1) {
        ScreenGrabResult result;
        result.cancelled = true;
        finish(std::move(result));
        return;
    }
    const QString file = QUrl(results.value(QStringLiteral("uri")).toString()).toLocalFile();
    if (response != 0 || file.isEmpty()) {
        fail(tr("The desktop refused the screenshot."));
        return;
    }
    const QImage desktop(file);
    // The portal leaves the picture in the user's folders; it was only ever
    // meant for this one capture.
    if (!QFile::remove(file))
        qCInfo(lcCapture).noquote()
            << QStringLiteral("Could not delete the portal screenshot ") + file;
    ScreenGrabResult result;
    result.grab = splitIntoScreens(desktop);
    if (result.grab.screens.isEmpty()) {
        fail(tr("The desktop's screenshot could not be read."));
        return;
    }
    finish(std::move(result));
}

bool PortalScreenshotRequest::subscribe(const QString &requestPath)
{
    m_requestPath = requestPath;
    return QDBusConnection::sessionBus().connect(portalService, requestPath, requestInterface,
                                                 QStringLiteral("Response"), this,
                                                 SLOT(handleResponse(uint, QVariantMap)));
}

void PortalScreenshotRequest::unsubscribe()
{
    if (m_requestPath.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(portalService, m_requestPath, requestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(handleResponse(uint, QVariantMap)));
    m_requestPath.clear();
}

void PortalScreenshotRequest::fail(const QString &message)
{
    qCWarning(lcCapture).noquote() << QStringLiteral("Screen capture failed: ") + message;
    ScreenGrabResult result;
    result.error = message;
    finish(std::move(result));
}

void PortalScreenshotRequest::finish(ScreenGrabResult result)
{
    if (std::exchange(m_finished, true))
        return;
    m_timeout.stop();
    unsubscribe();
    if (m_done)
        m_done(std::move(result));
    deleteLater();
}
