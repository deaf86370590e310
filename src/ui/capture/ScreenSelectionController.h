#pragma once

#include "core/desktop/ScreenCaptureService.h"
#include "core/desktop/ScreenGrab.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class SelectionOverlayWindow;

// Lets the user drag a rectangle over the screens and turns it into a PNG of
// what was there. One per process, made at start-up.
//
// captureRegion() does the whole job: it takes the screens' images, shows
// one overlay per screen with those images frozen, waits for the drag or for
// Escape / a right click, and hands back the region as PNG.
class ScreenSelectionController : public QObject
{
    Q_OBJECT

public:
    struct Selection
    {
        // Desktop coordinates, device-independent pixels.
        QRectF rect;
        // Name of the screen it was dragged on.
        QString screen;
    };

    // `png` is set when a region was captured. Without it, `error` says what
    // went wrong, or is empty when the user abandoned the selection or
    // clicked without dragging (then nothing is attached).
    using Completion = std::function<void(std::optional<QByteArray> png, QString error)>;

    explicit ScreenSelectionController(std::shared_ptr<ScreenCaptureService> capture,
                                       QObject *parent = nullptr);
    ~ScreenSelectionController() override;

    // Starts a capture; false (and `done` is never called) while one runs.
    bool captureRegion(Completion done);
    // Abandons a running capture as Escape does.
    void cancel();

    // Shows the overlays over `grab`'s frozen images and installs the key
    // monitor. The lower half of captureRegion(), for callers with a grab.
    void beginSelection(const ScreenGrab &grab);
    // Closes the overlays and removes the key monitor.
    void endSelection();

    bool isActive() const { return m_isActive; }
    const QList<SelectionOverlayWindow *> &windows() const { return m_windows; }

    // Called with the chosen region (zero size for a click).
    std::function<void(const Selection &)> onSelection;
    // Called when the selection is abandoned.
    std::function<void()> onCancel;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void handleGrab(const QUuid &request, ScreenGrabResult result);
    void handleSelection(const Selection &selection);
    void handleEncoded(const QUuid &request, const QString &screen, const CapturedRegion &region);
    void handleCancel();
    void complete(std::optional<QByteArray> png, const QString &error);

    QList<SelectionOverlayWindow *> m_windows;
    bool m_keyMonitorInstalled = false;
    bool m_isActive = false;

    std::shared_ptr<ScreenCaptureService> m_capture;
    ScreenGrab m_grab;
    // Identity of the capture in flight; a late grab of another one is dropped.
    QUuid m_request;
    Completion m_completion;
};
