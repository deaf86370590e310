#include "platform/linux/desktops/DesktopProfile.h"

#include "core/desktop/CommandKeybindingService.h"
#include "platform/linux/applications/WindowSource.h"
#include "platform/linux/desktops/gnome/GnomeProfile.h"
#include "platform/linux/desktops/kde/KdeProfile.h"
#include "platform/linux/desktops/wlroots/WlrootsProfile.h"
#include "platform/linux/keys/KeySynthesizer.h"
#include "platform/linux/shortcuts/ShortcutBackend.h"

#include <QCoreApplication>
#include <array>

namespace {

const DesktopProfile otherDesktop;
const GnomeProfile gnome;
const KdeProfile kde;
const WlrootsProfile wlroots;

// Asked in this order; a desktop that is none of them gets the base.
const std::array<const DesktopProfile *, 3> registered{&gnome, &kde, &wlroots};

} // namespace

const DesktopProfile &DesktopProfile::forEnvironment(const DesktopEnvironment &environment)
{
    const QStringList entries =
        environment.currentDesktop.toLower().split(u':', Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        for (const DesktopProfile *profile : registered) {
            if (profile->runsIn({entry}, environment))
                return *profile;
        }
    }
    // No entry known: a desktop may still say what it is another way.
    for (const DesktopProfile *profile : registered) {
        if (profile->runsIn({}, environment))
            return *profile;
    }
    return otherDesktop;
}

const DesktopProfile &DesktopProfile::of(Session::Family family)
{
    for (const DesktopProfile *profile : registered) {
        if (profile->family() == family)
            return *profile;
    }
    return otherDesktop;
}

QString DesktopProfile::bindInstructions() const
{
    return QStringLiteral("bind `wrenlark toggle` in your desktop's keyboard settings");
}

QString DesktopProfile::shortcutNotice() const
{
    return QCoreApplication::translate(
        "DesktopProfile",
        "This desktop lets no application register a global shortcut. To open Wrenlark with a "
        "key, bind `wrenlark toggle` to it in your desktop's keyboard settings.");
}

QString DesktopProfile::focusUntold(const DesktopEnvironment &) const
{
    return QStringLiteral("the compositor tells no client which window has the focus (of "
                          "compositors, only sway and KWin are asked)");
}

std::unique_ptr<ShortcutBackend> DesktopProfile::shortcutBackend(Session::ShortcutMethod) const
{
    return {};
}

std::shared_ptr<KeySynthesizer> DesktopProfile::keySynthesizer(Session::KeySynthesisMethod) const
{
    return {};
}

std::shared_ptr<WindowSource> DesktopProfile::windowSource(Session::WindowTrackingMethod,
                                                           const DesktopEnvironment &) const
{
    return {};
}

std::shared_ptr<CommandKeybindingService> DesktopProfile::commandKeybinding() const
{
    return {};
}
