#include "ui/capture/ScreenSelectionController.h"

#include "core/desktop/CaptureGeometry.h"
#include "core/support/Logging.h"
#include "ui/capture/SelectionOverlayView.h"
#include "ui/capture/SelectionOverlayWindow.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>

ScreenSelectionController::ScreenSelectionController(std::shared_ptr<ScreenCaptureService> capture,
                                                     QObject *parent)
    : QObject(parent)
    , m_capture(std::move(capture))
{
}

ScreenSelectionController::~ScreenSelectionController()
{
    endSelection();
}

bool ScreenSelectionController::captureRegion(Completion done)
{
    if (m_isActive || !m_request.isNull())
        return false;
    m_completion = std::move(done);
    const QUuid request = QUuid::createUuid();
    m_request = request;
    if (!m_capture) {
        complete(std::nullopt, tr("Screen capture is not available on this desktop."));
        return true;
    }
    QPointer<ScreenSelectionController> guard(this);
    m_capture->grabScreens([guard, request](ScreenGrabResult result) {
        if (guard)
            guard->handleGrab(request, std::move(result));
    });
    return true;
}

void ScreenSelectionController::cancel()
{
    if (m_isActive) {
        handleCancel();
        return;
    }
    if (!m_request.isNull())
        complete(std::nullopt, QString());
}

void ScreenSelectionController::handleGrab(const QUuid &request, ScreenGrabResult result)
{
    if (request != m_request)
        return;
    if (result.cancelled) {
        complete(std::nullopt, QString());
        return;
    }
    if (!result.succeeded()) {
        complete(std::nullopt, result.error.isEmpty() ? tr("The screen's image could not be taken.")
                                                      : result.error);
        return;
    }
    beginSelection(result.grab);
}

void ScreenSelectionController::beginSelection(const ScreenGrab &grab)
{
    endSelection();
    m_grab = grab;
    QScreen *focusScreen = QGuiApplication::screenAt(QCursor::pos());
    if (!focusScreen)
        focusScreen = QGuiApplication::primaryScreen();
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (QScreen *screen : screens) {
        auto *window = new SelectionOverlayWindow(screen, m_grab.screenNamed(screen->name()));
        const QString name = window->screenName();
        window->view()->onSelection = [this, name](const QRectF &rect) {
            handleSelection({rect, name});
        };
        window->view()->onAbandon = [this] { handleCancel(); };
        m_windows.append(window);
    }
    qApp->installEventFilter(this);
    m_keyMonitorInstalled = true;
    m_isActive = true;
    for (SelectionOverlayWindow *window : std::as_const(m_windows))
        window->present(window->screen() == focusScreen);
}

void ScreenSelectionController::endSelection()
{
    if (m_keyMonitorInstalled) {
        qApp->removeEventFilter(this);
        m_keyMonitorInstalled = false;
    }
    const QList<SelectionOverlayWindow *> windows = std::exchange(m_windows, {});
    for (SelectionOverlayWindow *window : windows) {
        // Its callbacks may be running right now; hidden, it gets no more
        // events to call them with.
        window->hide();
        // It may be inside its own mouse handler right now.
        window->deleteLater();
    }
    m_isActive = false;
}

bool ScreenSelectionController::eventFilter(QObject *watched, QEvent *event)
{
    if (m_isActive && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        handleCancel();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void ScreenSelectionController::handleSelection(const Selection &selection)
{
    endSelection();
    if (onSelection)
        onSelection(selection);
    if (m_request.isNull())
        return;
    if (CaptureGeometry::isEmpty(selection.rect)) {
        complete(std::nullopt, QString());
        return;
    }
    // Cutting, scaling and encoding a large region takes a while: off the
    // main thread, with the request identity deciding whether it still counts.
    QPointer<ScreenSelectionController> guard(this);
    const QUuid request = m_request;
    QThreadPool::globalInstance()->start(
        [guard, request, capture = m_capture, grab = std::exchange(m_grab, {}), selection] {
            CapturedRegion region = capture->encodeRegion(grab, selection.screen, selection.rect);
            QMetaObject::invokeMethod(
                qApp,
                [guard, request, screen = selection.screen, region = std::move(region)] {
                    if (guard)
                        guard->handleEncoded(request, screen, region);
                },
                Qt::QueuedConnection);
        });
}

void ScreenSelectionController::handleEncoded(const QUuid &request, const QString &screen,
                                              const CapturedRegion &region)
{
    if (request != m_request)
        return;
    if (!region.succeeded()) {
        complete(std::nullopt, region.error);
        return;
    }
    qCInfo(lcCapture).noquote() << QStringLiteral("Captured a %1x%2 region of screen %3")
                                       .arg(region.size.width())
                                       .arg(region.size.height())
                                       .arg(screen);
    complete(region.png, QString());
}

void ScreenSelectionController::handleCancel()
{
    endSelection();
    if (onCancel)
        onCancel();
    if (!m_request.isNull())
        complete(std::nullopt, QString());
}

void ScreenSelectionController::complete(std::optional<QByteArray> png, const QString &error)
{
    m_request = QUuid();
    m_grab = {};
    if (!error.isEmpty())
        qCWarning(lcCapture).noquote() << QStringLiteral("Screen capture: ") + error;
    // Taken out first: the caller may start the next capture from here.
    if (Completion done = std::exchange(m_completion, nullptr))
        done(std::move(png), error);
}
