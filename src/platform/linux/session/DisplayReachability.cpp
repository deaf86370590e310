#include "platform/linux/session/DisplayReachability.h"

#include <wayland-client.h>
#include <xcb/xcb.h>

namespace {

bool x11DisplayOpens()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool opens = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return opens;
}

bool waylandDisplayOpens()
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return false;
    wl_display_disconnect(display);
    return true;
}

} // namespace

QStringList DisplayReachability::dropUnreachableDisplays()
{
    const QString x11 = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    const bool x11Dropped = !x11.isEmpty() && !x11DisplayOpens();
    const bool waylandDropped = !wayland.isEmpty() && !waylandDisplayOpens();
    if (x11Dropped)
        qunsetenv("DISPLAY");
    if (waylandDropped)
        qunsetenv("WAYLAND_DISPLAY");

    const auto instead = [](bool otherLeft, const QString &other) {
        return otherLeft ? QStringLiteral("using %1 instead").arg(other)
                         : QStringLiteral("going on without a display");
    };
    const bool x11Left = !x11.isEmpty() && !x11Dropped;
    const bool waylandLeft = !wayland.isEmpty() && !waylandDropped;
    QStringList said;
    if (x11Dropped)
        said << QStringLiteral("The X display %1 (DISPLAY) cannot be opened; %2.")
                    .arg(x11,
                         instead(waylandLeft, QStringLiteral("the Wayland display ") + wayland));
    if (waylandDropped)
        said << QStringLiteral("The Wayland display %1 (WAYLAND_DISPLAY) cannot be opened; %2.")
                    .arg(wayland, instead(x11Left, QStringLiteral("the X display ") + x11));
    return said;
}
