#include "platform/linux/wayland/WaylandWindowExport.h"

#include "platform/linux/wayland/WaylandRoundTrip.h"
#include "xdg-foreign-unstable-v2-client-protocol.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QWindow>
#include <memory>
#include <qpa/qplatformnativeinterface.h>
#include <unordered_map>
#include <wayland-client.h>

namespace {

void announced(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto **exporter = static_cast<zxdg_exporter_v2 **>(data);
    if (*exporter == nullptr && qstrcmp(interface, zxdg_exporter_v2_interface.name) == 0)
        *exporter = static_cast<zxdg_exporter_v2 *>(
            wl_registry_bind(registry, name, &zxdg_exporter_v2_interface, 1));
}

void withdrawn(void *, wl_registry *, uint32_t) {}

const wl_registry_listener registryListener{announced, withdrawn};

void handleReceived(void *data, zxdg_exported_v2 *, const char *handle)
{
    *static_cast<QString *>(data) = QString::fromUtf8(handle);
}

const zxdg_exported_v2_listener exportedListener{handleReceived};

bool isXdgToplevel(QWindow *window)
{
    if (QGuiApplication::platformName() != QLatin1String("wayland") || !window ||
        !window->isTopLevel() || !window->isExposed() || !window->handle())
        return false;
    switch (window->type()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::SplashScreen:
    case Qt::SubWindow:
    case Qt::ForeignWindow:
        return false;
    default:
        break;
    }
    // Another shell (layer-shell, ivi) gives no xdg_toplevel.
    const QByteArray shell = qgetenv("QT_WAYLAND_SHELL_INTEGRATION");
    return shell.isEmpty() || shell == "xdg-shell";
}

} // namespace

// Bound once on Qt's own connection through a queue of ours, so its events
// never reach Qt's dispatch.
class WaylandWindowExporter::Exporter : public QObject
{
public:
    Exporter() = default;
    Q_DISABLE_COPY_MOVE(Exporter)

    ~Exporter() override
    {
        // Qt's connection goes with the application: nothing left to release.
        if (!qGuiApp || !m_display)
            return;
        for (auto &[window, exported] : m_exports) {
            window->removeEventFilter(this);
            disconnect(exported->windowGone);
            zxdg_exported_v2_destroy(exported->object);
        }
        if (m_exporter)
            zxdg_exporter_v2_destroy(m_exporter);
        wl_registry_destroy(m_registry);
        wl_display_flush(m_display);
        wl_event_queue_destroy(m_queue);
    }

    QString handleFor(QWindow *window, int timeoutMs)
    {
        if (const auto found = m_exports.find(window); found != m_exports.end())
            return found->second->handle;
        if (!ensureBound(timeoutMs))
            return {};
        auto *surface = static_cast<wl_surface *>(
            QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", window));
        if (!surface)
            return {};
        auto exported = std::make_unique<Export>();
        exported->object = zxdg_exporter_v2_export_toplevel(m_exporter, surface);
        zxdg_exported_v2_add_listener(exported->object, &exportedListener, &exported->handle);
        if (!WaylandRoundTrip::roundtrip(m_display, m_queue, timeoutMs) ||
            exported->handle.isEmpty()) {
            zxdg_exported_v2_destroy(exported->object);
            return {};
        }
        window->installEventFilter(this);
        exported->windowGone =
            connect(window, &QObject::destroyed, this, [this, window] { forget(window); });
        const QString handle = exported->handle;
        m_exports.emplace(window, std::move(exported));
        return handle;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const bool surfaceGoes = event->type() == QEvent::Hide ||
                                 (event->type() == QEvent::PlatformSurface &&
                                  static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType() ==
                                      QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed);
        if (surfaceGoes)
            forget(static_cast<QWindow *>(watched));
        return false;
    }

private:
    struct Export
    {
        zxdg_exported_v2 *object = nullptr;
        QString handle;
        QMetaObject::Connection windowGone;
    };

    bool ensureBound(int timeoutMs)
    {
        if (m_bound)
            return m_exporter != nullptr;
        m_display = static_cast<wl_display *>(
            QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
        if (!m_display)
            return false;
        m_bound = true;
        m_queue = wl_display_create_queue(m_display);
        auto *proxy = static_cast<wl_display *>(wl_proxy_create_wrapper(m_display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(proxy), m_queue);
        m_registry = wl_display_get_registry(proxy);
        wl_proxy_wrapper_destroy(proxy);
        wl_registry_add_listener(m_registry, &registryListener, &m_exporter);
        // The exporter is bound as the registry announces it, within the
        // round trip; exports sent after it come after the bind.
        return WaylandRoundTrip::roundtrip(m_display, m_queue, timeoutMs) && m_exporter;
    }

    void forget(QWindow *window)
    {
        const auto found = m_exports.find(window);
        if (found == m_exports.end())
            return;
        zxdg_exported_v2_destroy(found->second->object);
        wl_display_flush(m_display);
        disconnect(found->second->windowGone);
        m_exports.erase(found);
        window->removeEventFilter(this);
    }

    wl_display *m_display = nullptr;
    wl_event_queue *m_queue = nullptr;
    wl_registry *m_registry = nullptr;
    zxdg_exporter_v2 *m_exporter = nullptr;
    bool m_bound = false;
    std::unordered_map<QWindow *, std::unique_ptr<Export>> m_exports;
};

WaylandWindowExporter::WaylandWindowExporter()
    : m_exporter(std::make_unique<Exporter>())
{
}

WaylandWindowExporter::~WaylandWindowExporter() = default;

QString WaylandWindowExporter::handleFor(QWindow *window, int timeoutMs)
{
    if (!isXdgToplevel(window))
        return {};
    return m_exporter->handleFor(window, timeoutMs);
}
