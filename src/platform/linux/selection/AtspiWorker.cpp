#include "platform/linux/selection/AtspiWorker.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <atspi/atspi-gmain.h>
#include <condition_variable>
#include <mutex>

namespace {

// How long one AT-SPI call may wait for a busy application.
constexpr int callTimeoutMilliseconds = 800;
constexpr int startupTimeoutMilliseconds = 2000;

struct Job
{
    std::function<void()> run;
};

gboolean runJob(gpointer data)
{
    static_cast<Job *>(data)->run();
    return G_SOURCE_REMOVE;
}

void deleteJob(gpointer data)
{
    delete static_cast<Job *>(data);
}

} // namespace

AtspiWorker::AtspiWorker()
{
    // libatspi attaches its direct connections to applications to the
    // default GLib context, whatever context it is told to use. So this
    // thread must be the one that runs the default context: otherwise a Qt
    // main thread on the GLib event dispatcher reads replies meant for this
    // thread, and calls stall until their time-out.
    m_ownsDefaultContext = !mainThreadRunsGlib();
    m_context =
        m_ownsDefaultContext ? g_main_context_ref(g_main_context_default()) : g_main_context_new();
    std::mutex mutex;
    std::condition_variable started;
    bool ready = false;
    m_thread = std::thread([&] {
        g_main_context_push_thread_default(m_context);
        if (atspi_init() >= 0) {
            if (!m_ownsDefaultContext)
                atspi_set_main_context(m_context);
            atspi_set_timeout(callTimeoutMilliseconds, startupTimeoutMilliseconds);
            AtspiEventListener *listener =
                atspi_event_listener_new(&AtspiWorker::onFocusEvent, this, nullptr);
            m_connected =
                atspi_event_listener_register(listener, "object:state-changed:focused", nullptr);
        }
        {
            std::lock_guard lock(mutex);
            ready = true;
        }
        started.notify_one();
        run();
    });
    std::unique_lock lock(mutex);
    started.wait(lock, [&] { return ready; });
    m_thread.detach();
}

void AtspiWorker::run()
{
    GMainLoop *loop = g_main_loop_new(m_context, FALSE);
    g_main_loop_run(loop);
}

void AtspiWorker::post(std::function<void()> job)
{
    auto wrapped = [this, job = std::move(job)] {
        if (!m_ownsDefaultContext)
            adoptApplicationConnections();
        job();
    };
    g_main_context_invoke_full(m_context, G_PRIORITY_DEFAULT, runJob, new Job{std::move(wrapped)},
                               deleteJob);
}

bool AtspiWorker::mainThreadRunsGlib()
{
    const QAbstractEventDispatcher *dispatcher = QCoreApplication::eventDispatcher();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

void AtspiWorker::adoptApplicationConnections()
{
    // Second best, when Qt runs the default context: move every direct
    // connection libatspi opened since the last job to this thread's context.
    AtspiAccessible *desktop = atspi_get_desktop(0);
    if (!desktop)
        return;
    if (desktop->children) {
        for (guint i = 0; i < desktop->children->len; ++i) {
            auto *child = static_cast<AtspiAccessible *>(g_ptr_array_index(desktop->children, i));
            if (child && child->parent.app && child->parent.app->bus)
                atspi_dbus_connection_setup_with_g_main(child->parent.app->bus, m_context);
        }
    }
    g_object_unref(desktop);
}

void AtspiWorker::onFocusEvent(AtspiEvent *event, void *worker)
{
    if (!event)
        return;
    if (event->detail1 == 1 && event->source)
        static_cast<AtspiWorker *>(worker)->rememberFocus(event->source);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiWorker::rememberFocus(AtspiAccessible *accessible)
{
    const qint32 pid = pidOf(accessible);
    if (pid <= 0)
        return;
    g_object_ref(accessible);
    if (AtspiAccessible *previous = m_focusByPid.take(pid))
        g_object_unref(previous);
    m_focusByPid.insert(pid, accessible);
    g_object_ref(accessible);
    if (m_lastFocus)
        g_object_unref(m_lastFocus);
    m_lastFocus = accessible;
    m_lastFocusPid = pid;
}

QString AtspiWorker::busNameOf(AtspiAccessible *accessible) const
{
    const AtspiApplication *app = accessible ? accessible->parent.app : nullptr;
    return app && app->bus_name ? QString::fromUtf8(app->bus_name) : QString();
}

qint32 AtspiWorker::pidOf(AtspiAccessible *accessible)
{
    const QString busName = busNameOf(accessible);
    if (busName.isEmpty())
        return 0;
    if (const auto it = m_pidByBusName.constFind(busName); it != m_pidByBusName.cend())
        return *it;
    GErrorHolder error;
    const qint32 pid = qint32(atspi_accessible_get_process_id(accessible, error.out()));
    if (error.failed())
        return 0;
    // Unique bus names are never reused, so the answer stays right.
    m_pidByBusName.insert(busName, pid);
    return pid;
}

AtspiAccessible *AtspiWorker::lastFocused(qint32 pid)
{
    AtspiAccessible *accessible = m_focusByPid.value(pid);
    return accessible ? static_cast<AtspiAccessible *>(g_object_ref(accessible)) : nullptr;
}

AtspiAccessible *AtspiWorker::lastFocusedAnywhere(qint32 excludedPid, qint32 *pid)
{
    if (!m_lastFocus || m_lastFocusPid == excludedPid)
        return nullptr;
    *pid = m_lastFocusPid;
    return static_cast<AtspiAccessible *>(g_object_ref(m_lastFocus));
}

bool AtspiWorker::countsUtf16(AtspiAccessible *accessible)
{
    const QString busName = busNameOf(accessible);
    if (const auto it = m_utf16ByBusName.constFind(busName); it != m_utf16ByBusName.cend())
        return *it;
    GErrorHolder error;
    AtspiAccessible *application = atspi_accessible_get_application(accessible, error.out());
    gchar *toolkit =
        application ? atspi_accessible_get_toolkit_name(application, error.out()) : nullptr;
    const bool utf16 = toolkit && QString::fromUtf8(toolkit).compare(QLatin1String("Qt"),
                                                                     Qt::CaseInsensitive) == 0;
    g_free(toolkit);
    if (application)
        g_object_unref(application);
    if (!error.failed() && !busName.isEmpty())
        m_utf16ByBusName.insert(busName, utf16);
    return utf16;
}
