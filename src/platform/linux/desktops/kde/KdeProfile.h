#pragma once

#include "platform/linux/desktops/DesktopProfile.h"

// KDE Plasma: KWin's shortcut service (kglobalaccel) takes an application's
// shortcuts, KWin runs scripts that tell its windows, and its RemoteDesktop
// portal grants keys without asking.
class KdeProfile : public DesktopProfile
{
public:
    Session::Family family() const override { return Session::Family::kde; }
    bool runsIn(const QStringList &desktopEntries,
                const DesktopEnvironment &environment) const override;
    void probe(const DesktopEnvironment &environment, DesktopProbes &probes) const override;
    std::optional<Choice<Session::ShortcutMethod>>
    ownShortcut(const DesktopProbes &probes) const override;
    std::optional<Choice<Session::WindowTrackingMethod>>
    ownWindowTracking(const DesktopProbes &probes) const override;
    // Measured on KWin 5.27; whether its XWayland bridge alone would do was not.
    bool pastesThroughDataControl() const override { return true; }
    bool grantsRemoteDesktopUnasked() const override { return true; }
    QString bindInstructions() const override;
    QString shortcutNotice() const override;
    QString focusUntold(const DesktopEnvironment &environment) const override;
    std::unique_ptr<ShortcutBackend> shortcutBackend(Session::ShortcutMethod method) const override;
    std::shared_ptr<WindowSource>
    windowSource(Session::WindowTrackingMethod method,
                 const DesktopEnvironment &environment) const override;
};
