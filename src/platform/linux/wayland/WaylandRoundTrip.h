#pragma once

#include <QDeadlineTimer>

struct wl_display;
struct wl_event_queue;

// Waiting on a Wayland connection with a deadline, which libwayland's own
// blocking calls lack: a compositor that stops answering costs a bounded
// wait, never a hang. `queue` nullptr means the connection's default queue.
// Safe beside another reader of the same connection (Qt's): these follow
// libwayland's prepare-read protocol.
namespace WaylandRoundTrip {

enum class Read { events, nothing, broken };

// Sends what is queued; false when the socket stayed full until the
// deadline or broke.
bool flush(wl_display *display, const QDeadlineTimer &deadline);
// Dispatches what the compositor sent for `queue`, waiting up to
// `timeoutMs` for it.
Read readEvents(wl_display *display, wl_event_queue *queue, int timeoutMs);
// wl_display_roundtrip_queue with a deadline: true once the compositor has
// handled every request sent before.
bool roundtrip(wl_display *display, wl_event_queue *queue, int timeoutMs);

} // namespace WaylandRoundTrip
