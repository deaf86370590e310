#pragma once

#include "core/desktop/ScreenCaptureService.h"

// Grabs every screen from the X server (QScreen::grabWindow of the root),
// at each screen's own device pixel ratio.
class X11ScreenCaptureService : public ScreenCaptureService
{
public:
    void grabScreens(GrabCallback done) override;
    CapturedRegion encodeRegion(const ScreenGrab &grab, const QString &screenName,
                                const QRectF &rect) const override;
};
