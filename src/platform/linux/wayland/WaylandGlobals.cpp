#include "platform/linux/wayland/WaylandGlobals.h"

#include "platform/linux/wayland/WaylandRoundTrip.h"

#include <wayland-client.h>

namespace {

void withdrawn(void *, wl_registry *, uint32_t) {}

} // namespace

std::optional<WaylandGlobals> WaylandGlobals::ofCompositor(int timeoutMs)
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return std::nullopt;
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return std::nullopt;
    WaylandGlobals globals;
    wl_registry *registry = wl_display_get_registry(display);
    globals.listen(registry);
    const bool answered = WaylandRoundTrip::roundtrip(display, nullptr, timeoutMs);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (!answered)
        return std::nullopt;
    return globals;
}

void WaylandGlobals::listen(wl_registry *registry)
{
    static const wl_registry_listener listener{&WaylandGlobals::announced, withdrawn};
    wl_registry_add_listener(registry, &listener, this);
}

std::optional<WaylandGlobals::Global> WaylandGlobals::find(const char *interface) const
{
    const auto found = m_globals.constFind(QByteArray(interface));
    if (found == m_globals.cend())
        return std::nullopt;
    return *found;
}

void WaylandGlobals::announced(void *data, wl_registry *, uint32_t name, const char *interface,
                               uint32_t version)
{
    auto &globals = static_cast<WaylandGlobals *>(data)->m_globals;
    const QByteArray key(interface);
    if (!globals.contains(key))
        globals.insert(key, {name, version});
}
