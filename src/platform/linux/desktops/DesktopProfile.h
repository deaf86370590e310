#pragma once

#include "platform/linux/session/DesktopSession.h"

#include <QStringList>
#include <memory>
#include <optional>

class CommandKeybindingService;
class KeySynthesizer;
class ShortcutBackend;
class WindowSource;

// What one family of desktops does its own way: the names it goes by, the
// services of its own that are probed and preferred to what any desktop may
// offer (the portals, the X server, the common Wayland protocols), what is
// said where they are missing, and the backends over them. This base is a
// desktop with nothing of its own; each family that has something is a
// subclass in a folder of its own below desktops/, registered in
// DesktopProfile.cpp.
//
// The decisions are pure, over the probes, so any desktop can be described
// without running on it; only probe() asks the desktop.
class DesktopProfile
{
public:
    using Session = DesktopSession;
    template<typename Method> using Choice = DesktopSession::Choice<Method>;

    virtual ~DesktopProfile() = default;

    // The profile of the desktop the environment names (XDG_CURRENT_DESKTOP
    // is a list, "ubuntu:GNOME": its first known entry counts); the base
    // profile when it names none known.
    static const DesktopProfile &forEnvironment(const DesktopEnvironment &environment);
    static const DesktopProfile &of(Session::Family family);

    virtual Session::Family family() const { return Session::Family::other; }
    // Whether this desktop runs in `environment`, given its
    // XDG_CURRENT_DESKTOP entries in lower case.
    virtual bool runsIn(const QStringList &, const DesktopEnvironment &) const { return false; }

    // Asks the desktop's own services, each for at most a second; called
    // on Wayland sessions only.
    virtual void probe(const DesktopEnvironment &, DesktopProbes &) const {}

    // The desktop's own methods on a Wayland session, taken before the common
    // ones; nothing where it has none or the probes did not find it.
    virtual std::optional<Choice<Session::ShortcutMethod>> ownShortcut(const DesktopProbes &) const
    {
        return {};
    }
    virtual std::optional<Choice<Session::KeySynthesisMethod>>
    ownKeySynthesis(const DesktopProbes &) const
    {
        return {};
    }
    virtual std::optional<Choice<Session::WindowTrackingMethod>>
    ownWindowTracking(const DesktopProbes &) const
    {
        return {};
    }
    // Whether the compositor's virtual keyboard goes before a RemoteDesktop
    // portal (which would ask the user, where the keyboard asks nothing).
    virtual bool prefersVirtualKeyboard() const { return false; }
    // Whether, under XWayland, a Wayland window's clipboard is read and
    // written through the data-control protocol where it is offered.
    virtual bool pastesThroughDataControl() const { return false; }
    // Whether the compositor hands XWayland's clipboard to Wayland windows
    // only while an X11 window has the focus (measured).
    virtual bool xwaylandClipboardFollowsFocus() const { return false; }
    // Whether the compositor tiles a Wayland client's window (the bar would
    // cover the screen) where it floats an X11 one.
    virtual bool tilesWaylandWindows() const { return false; }
    // Whether its RemoteDesktop portal grants the keys without asking.
    virtual bool grantsRemoteDesktopUnasked() const { return false; }

    // How to bind `wrenlark toggle` by hand, for `doctor`'s reasons.
    virtual QString bindInstructions() const;
    // The same for the user, translated, where no shortcut can be registered.
    virtual QString shortcutNotice() const;
    // Why the focused window is not known, on a Wayland session.
    virtual QString focusUntold(const DesktopEnvironment &environment) const;

    // Backends for the methods this desktop owns; nothing for any other method.
    virtual std::unique_ptr<ShortcutBackend> shortcutBackend(Session::ShortcutMethod method) const;
    virtual std::shared_ptr<KeySynthesizer>
    keySynthesizer(Session::KeySynthesisMethod method) const;
    virtual std::shared_ptr<WindowSource> windowSource(Session::WindowTrackingMethod method,
                                                       const DesktopEnvironment &environment) const;
    // A shortcut in the desktop's own keyboard settings that runs
    // `wrenlark toggle`, where the desktop has such settings.
    virtual std::shared_ptr<CommandKeybindingService> commandKeybinding() const;
};
