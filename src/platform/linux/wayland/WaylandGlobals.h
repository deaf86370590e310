#pragma once

#include <QByteArray>
#include <QHash>
#include <optional>

struct wl_display;
struct wl_registry;

// The globals a compositor announces on a registry, by interface name, each
// with the name and version to bind it by (the first announced, where there
// are several, as with seats).
class WaylandGlobals
{
public:
    struct Global
    {
        quint32 name = 0;
        quint32 version = 0;
    };

    // What the compositor at $WAYLAND_DISPLAY announces, asked over a
    // connection of its own; nothing when it cannot be reached or does not
    // answer within `timeoutMs`.
    static std::optional<WaylandGlobals> ofCompositor(int timeoutMs = 1000);

    // Collects what `registry` announces from now on; this object must stay
    // where it is while the registry lives.
    void listen(wl_registry *registry);

    std::optional<Global> find(const char *interface) const;
    bool offers(const char *interface) const { return find(interface).has_value(); }

private:
    static void announced(void *data, wl_registry *, uint32_t name, const char *interface,
                          uint32_t version);

    QHash<QByteArray, Global> m_globals;
};
