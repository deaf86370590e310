#include "platform/linux/desktops/wlroots/WlrootsProfile.h"

#include "platform/linux/desktops/wlroots/SwayIpc.h"
#include "platform/linux/desktops/wlroots/SwayWindowSource.h"

#include <QCoreApplication>

bool WlrootsProfile::runsIn(const QStringList &desktopEntries,
                            const DesktopEnvironment &environment) const
{
    static const QStringList names{QStringLiteral("sway"),    QStringLiteral("river"),
                                   QStringLiteral("wayfire"), QStringLiteral("labwc"),
                                   QStringLiteral("dwl"),     QStringLiteral("hyprland")};
    if (desktopEntries.isEmpty())
        return !environment.swaySocket.isEmpty() && !environment.waylandDisplay.isEmpty();
    return std::any_of(desktopEntries.cbegin(), desktopEntries.cend(),
                       [](const QString &entry) { return names.contains(entry); });
}

void WlrootsProfile::probe(const DesktopEnvironment &environment, DesktopProbes &probes) const
{
    probes.swayIpc =
        !environment.swaySocket.isEmpty() && SwayIpc(environment.swaySocket).isAnswering();
}

std::optional<DesktopProfile::Choice<DesktopSession::WindowTrackingMethod>>
WlrootsProfile::ownWindowTracking(const DesktopProbes &probes) const
{
    if (!probes.swayIpc)
        return {};
    return Choice<Session::WindowTrackingMethod>{
        Session::WindowTrackingMethod::swayIpc,
        QStringLiteral("sway's IPC (SWAYSOCK) tells the focused window and focuses windows, "
                       "Wayland and X11 alike")};
}

QString WlrootsProfile::bindInstructions() const
{
    return QStringLiteral("bind `wrenlark toggle` in the compositor's configuration (for sway: "
                          "bindsym Mod1+space exec wrenlark toggle)");
}

QString WlrootsProfile::shortcutNotice() const
{
    return QCoreApplication::translate(
        "WlrootsProfile",
        "Your compositor lets no application register a global shortcut. To open Wrenlark with "
        "a key, bind `wrenlark toggle` in its configuration (for sway: bindsym Mod1+space exec "
        "wrenlark toggle).");
}

QString WlrootsProfile::focusUntold(const DesktopEnvironment &environment) const
{
    const QString unanswered =
        environment.swaySocket.isEmpty()
            ? QString()
            : QStringLiteral("SWAYSOCK=%1 does not answer; ").arg(environment.swaySocket);
    return unanswered + QStringLiteral("the compositor tells no client which window has the "
                                       "focus (of compositors, only sway's IPC is asked)");
}

std::shared_ptr<WindowSource>
WlrootsProfile::windowSource(Session::WindowTrackingMethod method,
                             const DesktopEnvironment &environment) const
{
    if (method != Session::WindowTrackingMethod::swayIpc)
        return {};
    return std::make_shared<SwayWindowSource>(environment.swaySocket);
}
