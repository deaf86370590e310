#pragma once

#include "platform/linux/desktops/DesktopProfile.h"

// Compositors built on wlroots (sway, river, labwc, Hyprland…): a virtual
// keyboard for any program of the session, and on sway an IPC socket that
// tells and focuses windows. None registers an application's shortcut.
class WlrootsProfile : public DesktopProfile
{
public:
    Session::Family family() const override { return Session::Family::wlroots; }
    // sway sets no XDG_CURRENT_DESKTOP of its own: its IPC socket says it.
    bool runsIn(const QStringList &desktopEntries,
                const DesktopEnvironment &environment) const override;
    void probe(const DesktopEnvironment &environment, DesktopProbes &probes) const override;
    std::optional<Choice<Session::WindowTrackingMethod>>
    ownWindowTracking(const DesktopProbes &probes) const override;
    bool prefersVirtualKeyboard() const override { return true; }
    // Measured on sway 1.7.
    bool pastesThroughDataControl() const override { return true; }
    bool xwaylandClipboardFollowsFocus() const override { return true; }
    bool tilesWaylandWindows() const override { return true; }
    QString bindInstructions() const override;
    QString shortcutNotice() const override;
    QString focusUntold(const DesktopEnvironment &environment) const override;
    std::shared_ptr<WindowSource>
    windowSource(Session::WindowTrackingMethod method,
                 const DesktopEnvironment &environment) const override;
};
