#include "platform/linux/desktops/gnome/GnomeProfile.h"

#include "platform/linux/desktops/gnome/GnomeCommandKeybinding.h"
#include "platform/linux/desktops/gnome/GnomeShortcutBackend.h"
#include "platform/linux/desktops/gnome/MutterRemoteDesktopKeys.h"

#include <QCoreApplication>

bool GnomeProfile::runsIn(const QStringList &desktopEntries, const DesktopEnvironment &) const
{
    static const QStringList names{QStringLiteral("gnome"), QStringLiteral("gnome-classic"),
                                   QStringLiteral("gnome-flashback")};
    return std::any_of(desktopEntries.cbegin(), desktopEntries.cend(),
                       [](const QString &entry) { return names.contains(entry); });
}

void GnomeProfile::probe(const DesktopEnvironment &, DesktopProbes &probes) const
{
    probes.mutterRemoteDesktop = MutterRemoteDesktopKeys::isOffered();
}

// GNOME 43's portal (version 1) would ask at every start.
std::optional<DesktopProfile::Choice<DesktopSession::KeySynthesisMethod>>
GnomeProfile::ownKeySynthesis(const DesktopProbes &probes) const
{
    if (!probes.mutterRemoteDesktop)
        return {};
    return Choice<Session::KeySynthesisMethod>{
        Session::KeySynthesisMethod::mutterRemoteDesktop,
        QStringLiteral("GNOME's compositor takes the keys through its own remote desktop "
                       "interface, for the focused window, Wayland or X11, without asking; a "
                       "session is open only while they are typed")};
}

QString GnomeProfile::bindInstructions() const
{
    return QStringLiteral("let Wrenlark add one to GNOME's keyboard shortcuts (its Settings, "
                          "General), or add a custom shortcut running `wrenlark toggle` in "
                          "Settings, Keyboard, View and Customise Shortcuts, Custom Shortcuts");
}

QString GnomeProfile::shortcutNotice() const
{
    return QCoreApplication::translate(
        "GnomeProfile",
        "GNOME lets no application register a global shortcut. To open Wrenlark with a key, add "
        "a custom shortcut running `wrenlark toggle` in Settings, Keyboard, View and Customise "
        "Shortcuts.");
}

QString GnomeProfile::focusUntold(const DesktopEnvironment &) const
{
    return QStringLiteral("GNOME Shell tells no other program which window has the focus");
}

std::unique_ptr<ShortcutBackend> GnomeProfile::shortcutBackend(Session::ShortcutMethod method) const
{
    if (method != Session::ShortcutMethod::bindCommand)
        return {};
    return std::make_unique<GnomeShortcutBackend>();
}

std::shared_ptr<KeySynthesizer>
GnomeProfile::keySynthesizer(Session::KeySynthesisMethod method) const
{
    if (method != Session::KeySynthesisMethod::mutterRemoteDesktop)
        return {};
    return std::make_shared<MutterRemoteDesktopKeys>();
}

std::shared_ptr<CommandKeybindingService> GnomeProfile::commandKeybinding() const
{
    return std::make_shared<GnomeCommandKeybinding>(
        true, GnomeCommandKeybinding::commandForThisExecutable());
}
