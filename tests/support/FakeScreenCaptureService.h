#pragma once

#include "core/desktop/ScreenCaptureService.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>

// A capture service that answers with a prepared grab and records the
// regions it is asked to encode; its "PNG" names the region.
class FakeScreenCaptureService : public ScreenCaptureService
{
public:
    struct Encoded
    {
        QString screenName;
        QRectF rect;
    };

    ScreenGrabResult nextGrab;
    // Hold the grab back until deliver(), as the portal does.
    bool deferGrab = false;
    // Filled from the thread the caller encodes on.
    mutable QList<Encoded> encoded;
    int grabCount = 0;

    void grabScreens(GrabCallback done) override
    {
        ++grabCount;
        if (deferGrab) {
            m_pending = std::move(done);
            return;
        }
        done(nextGrab);
    }

    void deliver()
    {
        if (GrabCallback done = std::exchange(m_pending, nullptr))
            done(nextGrab);
    }

    CapturedRegion encodeRegion(const ScreenGrab &, const QString &screenName,
                                const QRectF &rect) const override
    {
        {
            QMutexLocker lock(&m_mutex);
            encoded.append({screenName, rect});
        }
        CapturedRegion region;
        region.png = QStringLiteral("PNG %1,%2 %3x%4")
                         .arg(rect.x())
                         .arg(rect.y())
                         .arg(rect.width())
                         .arg(rect.height())
                         .toUtf8();
        region.size = rect.size().toSize();
        return region;
    }

    int encodedCount() const
    {
        QMutexLocker lock(&m_mutex);
        return int(encoded.size());
    }

private:
    GrabCallback m_pending;
    mutable QMutex m_mutex;
};
