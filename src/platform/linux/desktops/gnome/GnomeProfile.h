#pragma once

#include "platform/linux/desktops/DesktopProfile.h"

// GNOME Shell: Mutter types keys for the programs of its session without
// asking, and GNOME's keyboard settings take a shortcut that runs
// `wrenlark toggle`; it registers no shortcut for an application and tells
// no program which window has the focus.
class GnomeProfile : public DesktopProfile
{
public:
    Session::Family family() const override { return Session::Family::gnome; }
    bool runsIn(const QStringList &desktopEntries,
                const DesktopEnvironment &environment) const override;
    void probe(const DesktopEnvironment &environment, DesktopProbes &probes) const override;
    std::optional<Choice<Session::KeySynthesisMethod>>
    ownKeySynthesis(const DesktopProbes &probes) const override;
    QString bindInstructions() const override;
    QString shortcutNotice() const override;
    QString focusUntold(const DesktopEnvironment &environment) const override;
    std::unique_ptr<ShortcutBackend> shortcutBackend(Session::ShortcutMethod method) const override;
    std::shared_ptr<KeySynthesizer>
    keySynthesizer(Session::KeySynthesisMethod method) const override;
    std::shared_ptr<CommandKeybindingService> commandKeybinding() const override;
};
