#pragma once

#include "core/desktop/ScreenGrab.h"

#include <QByteArray>
#include <QRectF>
#include <QSize>
#include <QString>
#include <functional>

// The outcome of one grab: the screens' images, or why there are none.
struct ScreenGrabResult
{
    ScreenGrab grab;
    // Set when the desktop refused or no screen could be read; `grab` is
    // then empty. Written for the user.
    QString error;
    // The user declined the desktop's own prompt: no image and no error.
    bool cancelled = false;

    bool succeeded() const { return !cancelled && error.isEmpty() && !grab.screens.isEmpty(); }
};

// A region of a grab as a PNG, or why it could not be made.
struct CapturedRegion
{
    QByteArray png;
    // Pixel size of the PNG.
    QSize size;
    QString error;

    bool succeeded() const { return error.isEmpty() && !png.isEmpty(); }
};

// Images of what the screens show. It keeps no state between calls and never
// touches the clipboard.
class ScreenCaptureService
{
public:
    using GrabCallback = std::function<void(ScreenGrabResult)>;

    virtual ~ScreenCaptureService() = default;

    // Takes every screen's image now, before anything is drawn over them.
    // `done` runs once on the calling (main) thread: before this returns
    // where the grab is immediate, later where the desktop is asked for it.
    virtual void grabScreens(GrabCallback done) = 0;

    // Cuts `rect` (desktop coordinates) out of the image of the screen named
    // `screenName`, scales it so its long edge stays within
    // CaptureGeometry::maximumImageEdge and encodes it as PNG. Safe to call
    // from any thread: callers run it off the main one.
    virtual CapturedRegion encodeRegion(const ScreenGrab &grab, const QString &screenName,
                                        const QRectF &rect) const = 0;
};
