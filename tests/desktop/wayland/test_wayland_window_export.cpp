// The parent window a portal dialog is placed over, for a native Wayland
// client on sway: the focused window is exported through xdg-foreign, the
// handle is one another client can import while the window is shown and
// no longer once it is hidden; windows that are no toplevel are never
// exported (that would be a protocol error ending the connection).
#include "platform/linux/capture/PortalParentWindow.h"
#include "platform/linux/wayland/WaylandRoundTrip.h"
#include "platform/linux/wayland/WaylandWindowExport.h"
#include "xdg-foreign-unstable-v2-client-protocol.h"

#include <QGuiApplication>
#include <QRasterWindow>
#include <QTest>
#include <wayland-client.h>

namespace {

void announced(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto **importer = static_cast<zxdg_importer_v2 **>(data);
    if (qstrcmp(interface, zxdg_importer_v2_interface.name) == 0)
        *importer = static_cast<zxdg_importer_v2 *>(
            wl_registry_bind(registry, name, &zxdg_importer_v2_interface, 1));
}

void withdrawn(void *, wl_registry *, uint32_t) {}

const wl_registry_listener registryListener{announced, withdrawn};

void importedGone(void *data, zxdg_imported_v2 *)
{
    *static_cast<bool *>(data) = true;
}

const zxdg_imported_v2_listener importedListener{importedGone};

// Another client of the compositor, as the portal is: whether it can take
// a window for the handle.
class Importer
{
public:
    Importer()
        : m_display(wl_display_connect(nullptr))
    {
        if (!m_display)
            return;
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &registryListener, &m_importer);
        WaylandRoundTrip::roundtrip(m_display, nullptr, 5000);
    }

    ~Importer()
    {
        if (m_importer)
            zxdg_importer_v2_destroy(m_importer);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (m_display)
            wl_display_disconnect(m_display);
    }

    bool isReady() const { return m_importer != nullptr; }

    bool imports(const QString &handle)
    {
        bool gone = false;
        zxdg_imported_v2 *imported =
            zxdg_importer_v2_import_toplevel(m_importer, handle.toUtf8().constData());
        zxdg_imported_v2_add_listener(imported, &importedListener, &gone);
        const bool answered = WaylandRoundTrip::roundtrip(m_display, nullptr, 5000);
        zxdg_imported_v2_destroy(imported);
        return answered && !gone;
    }

private:
    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    zxdg_importer_v2 *m_importer = nullptr;
};

} // namespace

class WaylandWindowExportTest : public QObject
{
    Q_OBJECT

    WaylandWindowExporter m_exporter;

private Q_SLOTS:
    void init()
    {
        if (qEnvironmentVariable("WRENLARK_WAYLAND_SESSION") != QLatin1String("1"))
            QSKIP("needs the Wayland desktop: run under tests/support/wayland-session");
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    }

    void theFocusedWindowIsExportedWhileShown()
    {
        Importer importer;
        QVERIFY(importer.isReady());
        QRasterWindow window;
        window.resize(300, 200);
        window.show();
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), &window, 10000);

        const QString parent = portalParentWindow(m_exporter);
        QVERIFY2(parent.startsWith(QLatin1String("wayland:")), qPrintable(parent));
        const QString handle = parent.mid(8);
        QVERIFY(!handle.isEmpty());
        QVERIFY(importer.imports(handle));
        // One export while the window stays.
        QCOMPARE(portalParentWindow(m_exporter), parent);
        // A made-up handle is no window.
        QVERIFY(!importer.imports(QStringLiteral("no-such-handle")));

        // Hidden, the window's toplevel is gone and so is the export; shown
        // again it gets a new one.
        window.hide();
        QCoreApplication::processEvents();
        QVERIFY(!importer.imports(handle));
        window.show();
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), &window, 10000);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString again = m_exporter.handleFor(&window);
        QVERIFY2(!again.isEmpty() && again != handle, qPrintable(again));
        QVERIFY(importer.imports(again));
    }

    void onlyShownToplevelsAreExported()
    {
        QRasterWindow hidden;
        QVERIFY(m_exporter.handleFor(&hidden).isEmpty());
        QVERIFY(m_exporter.handleFor(nullptr).isEmpty());

        QRasterWindow window;
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QRasterWindow popup;
        popup.setFlags(Qt::Popup);
        popup.setTransientParent(&window);
        popup.resize(100, 50);
        popup.show();
        QVERIFY(QTest::qWaitForWindowExposed(&popup));
        QVERIFY(m_exporter.handleFor(&popup).isEmpty());
        // The connection survived: the toplevel still exports.
        QVERIFY(!m_exporter.handleFor(&window).isEmpty());
    }
};

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    WaylandWindowExportTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_wayland_window_export.moc"
