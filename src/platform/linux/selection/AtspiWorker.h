#pragma once

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <atspi/atspi.h>
#include <functional>
#include <thread>

// The one thread of this process that talks AT-SPI. libatspi keeps caches
// that are not safe to share between threads, so every call into it runs
// here, on a GLib main loop of its own (accessibility events are dispatched
// here too, never on the GUI thread). Callers post jobs and get their
// answers back through the Qt event loop.
//
// It also remembers, from focus events as they happen, which element last
// took the keyboard focus in each application, so finding the focused
// element later costs one call instead of a walk through the tree.
class AtspiWorker
{
public:
    // Starts the thread. One per process (libatspi's state is the process's),
    // made by LinuxDesktopConnections and never deleted: the thread runs
    // until the process ends.
    AtspiWorker();
    Q_DISABLE_COPY_MOVE(AtspiWorker)

    // Whether libatspi connected to the accessibility bus.
    bool isConnected() const { return m_connected.load(); }
    // Whether this thread runs the default GLib context, as it must for
    // libatspi's direct connections to applications (see
    // prepareLinuxDesktopProcess()).
    bool ownsDefaultContext() const { return m_ownsDefaultContext; }

    // Runs `job` on the worker thread, in order.
    void post(std::function<void()> job);

    // --- worker thread only ---

    // The process owning an accessible; 0 when unknown.
    qint32 pidOf(AtspiAccessible *accessible);
    // The last element that took the focus in `pid`, with a new reference;
    // null when none is known.
    AtspiAccessible *lastFocused(qint32 pid);
    // The last element that took the focus anywhere except in `excludedPid`,
    // with a new reference, and its pid.
    AtspiAccessible *lastFocusedAnywhere(qint32 excludedPid, qint32 *pid);
    // Whether the element's application counts text offsets in UTF-16 code
    // units (Qt) rather than in characters (GTK and the AT-SPI default).
    bool countsUtf16(AtspiAccessible *accessible);

private:
    static bool mainThreadRunsGlib();
    void run();
    void adoptApplicationConnections();
    static void onFocusEvent(AtspiEvent *event, void *worker);
    void rememberFocus(AtspiAccessible *accessible);
    QString busNameOf(AtspiAccessible *accessible) const;

    std::thread m_thread;
    GMainContext *m_context = nullptr;
    bool m_ownsDefaultContext = false;
    std::atomic_bool m_connected{false};

    // Worker-thread state.
    QHash<QString, qint32> m_pidByBusName;
    QHash<QString, bool> m_utf16ByBusName;
    QHash<qint32, AtspiAccessible *> m_focusByPid;
    AtspiAccessible *m_lastFocus = nullptr;
    qint32 m_lastFocusPid = 0;
};

// Frees a GError when it goes out of scope.
struct GErrorHolder
{
    GError *error = nullptr;
    ~GErrorHolder()
    {
        if (error)
            g_error_free(error);
    }
    GError **out()
    {
        if (error)
            g_clear_error(&error);
        return &error;
    }
    bool failed() const { return error != nullptr; }
};
