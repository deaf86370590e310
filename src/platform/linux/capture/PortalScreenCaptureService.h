#pragma once

#include "core/desktop/ScreenCaptureService.h"

#include <chrono>

class WaylandWindowExporter;

// Asks the desktop for a screenshot through the Screenshot portal
// (org.freedesktop.portal.Screenshot), the only way on Wayland, and splits
// the image of the whole desktop into the screens' images.
class PortalScreenCaptureService : public ScreenCaptureService
{
public:
    // How long the desktop may take, its consent prompt included.
    static constexpr std::chrono::milliseconds responseTimeout{60000};

    // `exporter` names the window the portal's dialog belongs to.
    explicit PortalScreenCaptureService(WaylandWindowExporter &exporter)
        : m_exporter(exporter)
    {
    }

    // Whether the desktop's portal offers screenshots now.
    static bool isOffered();

    void grabScreens(GrabCallback done) override;
    CapturedRegion encodeRegion(const ScreenGrab &grab, const QString &screenName,
                                const QRectF &rect) const override;

private:
    WaylandWindowExporter &m_exporter;
};
