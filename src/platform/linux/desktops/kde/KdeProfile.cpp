#include "platform/linux/desktops/kde/KdeProfile.h"

#include "platform/linux/desktops/kde/KGlobalAccelShortcutBackend.h"
#include "platform/linux/desktops/kde/KWinWindowSource.h"

#include <QCoreApplication>

bool KdeProfile::runsIn(const QStringList &desktopEntries, const DesktopEnvironment &) const
{
    return desktopEntries.contains(QLatin1String("kde"));
}

void KdeProfile::probe(const DesktopEnvironment &, DesktopProbes &probes) const
{
    probes.kdeGlobalAccel = KGlobalAccelShortcutBackend::isOffered();
    probes.kwinScripting = KWinWindowSource::isOffered();
}

// Plasma's portal (5.27) names a shortcut's owner after the caller's
// application id, which it cannot find for a program started outside a
// systemd application scope, and then binds nothing.
std::optional<DesktopProfile::Choice<DesktopSession::ShortcutMethod>>
KdeProfile::ownShortcut(const DesktopProbes &probes) const
{
    if (!probes.kdeGlobalAccel)
        return {};
    return Choice<Session::ShortcutMethod>{
        Session::ShortcutMethod::kdeGlobalAccel,
        QStringLiteral("KDE's shortcut service (kglobalaccel) takes them, as it takes those of "
                       "KDE's own programs")};
}

std::optional<DesktopProfile::Choice<DesktopSession::WindowTrackingMethod>>
KdeProfile::ownWindowTracking(const DesktopProbes &probes) const
{
    if (!probes.kwinScripting)
        return {};
    return Choice<Session::WindowTrackingMethod>{
        Session::WindowTrackingMethod::kwinScript,
        QStringLiteral("a KWin script of Wrenlark's tells KWin's windows, Wayland and X11 alike, "
                       "and focuses them")};
}

QString KdeProfile::bindInstructions() const
{
    return QStringLiteral("add a shortcut running `wrenlark toggle` in System Settings, Shortcuts");
}

QString KdeProfile::shortcutNotice() const
{
    return QCoreApplication::translate(
        "KdeProfile",
        "This desktop lets no application register a global shortcut. To open Wrenlark with a "
        "key, add a shortcut running `wrenlark toggle` in System Settings, Shortcuts.");
}

QString KdeProfile::focusUntold(const DesktopEnvironment &) const
{
    return QStringLiteral("KWin tells no other program which window has the focus");
}

std::unique_ptr<ShortcutBackend> KdeProfile::shortcutBackend(Session::ShortcutMethod method) const
{
    if (method != Session::ShortcutMethod::kdeGlobalAccel)
        return {};
    return std::make_unique<KGlobalAccelShortcutBackend>();
}

std::shared_ptr<WindowSource> KdeProfile::windowSource(Session::WindowTrackingMethod method,
                                                       const DesktopEnvironment &) const
{
    if (method != Session::WindowTrackingMethod::kwinScript)
        return {};
    return std::make_shared<KWinWindowSource>();
}
