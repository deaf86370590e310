#include "platform/linux/wayland/WaylandRoundTrip.h"

#include <cerrno>
#include <poll.h>
#include <wayland-client.h>

namespace {

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

int prepareRead(wl_display *display, wl_event_queue *queue)
{
    return queue ? wl_display_prepare_read_queue(display, queue) : wl_display_prepare_read(display);
}

int dispatchPending(wl_display *display, wl_event_queue *queue)
{
    return queue ? wl_display_dispatch_queue_pending(display, queue)
                 : wl_display_dispatch_pending(display);
}

void syncDone(void *data, wl_callback *, uint32_t)
{
    *static_cast<bool *>(data) = true;
}

const wl_callback_listener syncListener{syncDone};

} // namespace

namespace WaylandRoundTrip {

bool flush(wl_display *display, const QDeadlineTimer &deadline)
{
    while (wl_display_flush(display) < 0) {
        if (errno != EAGAIN)
            return false;
        pollfd socket{wl_display_get_fd(display), POLLOUT, 0};
        if (::poll(&socket, 1, remainingMs(deadline)) == 0)
            return false;
    }
    return true;
}

Read readEvents(wl_display *display, wl_event_queue *queue, int timeoutMs)
{
    // Events already queued are dispatched first, and count.
    while (prepareRead(display, queue) != 0) {
        const int dispatched = dispatchPending(display, queue);
        if (dispatched < 0)
            return Read::broken;
        if (dispatched > 0)
            return Read::events;
    }
    pollfd socket{wl_display_get_fd(display), POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&socket, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        wl_display_cancel_read(display);
        return ready == 0 ? Read::nothing : Read::broken;
    }
    if (wl_display_read_events(display) < 0 || dispatchPending(display, queue) < 0)
        return Read::broken;
    return Read::events;
}

bool roundtrip(wl_display *display, wl_event_queue *queue, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    bool done = false;
    // The callback's event goes to `queue`.
    auto *proxy = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    if (queue)
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(proxy), queue);
    wl_callback *callback = wl_display_sync(proxy);
    wl_proxy_wrapper_destroy(proxy);
    wl_callback_add_listener(callback, &syncListener, &done);
    while (!done && flush(display, deadline) &&
           readEvents(display, queue, remainingMs(deadline)) == Read::events) {
    }
    wl_callback_destroy(callback);
    return done;
}

} // namespace WaylandRoundTrip
