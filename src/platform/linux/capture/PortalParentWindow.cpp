#include "platform/linux/capture/PortalParentWindow.h"

#include "platform/linux/wayland/WaylandWindowExport.h"

#include <QGuiApplication>
#include <QWindow>

QString portalParentWindow(WaylandWindowExporter &exporter)
{
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland"))
        return {};
    QWindow *window = QGuiApplication::focusWindow();
    // A dialog of ours names the window it belongs to.
    while (window && window->transientParent())
        window = window->transientParent();
    // A menu or tooltip is gone before the portal's dialog shows.
    if (!window || !window->isVisible() || window->type() == Qt::Popup ||
        window->type() == Qt::ToolTip)
        return {};
    if (platform == QLatin1String("xcb"))
        return QStringLiteral("x11:") + QString::number(window->winId(), 16);
    const QString handle = exporter.handleFor(window);
    return handle.isEmpty() ? QString() : QStringLiteral("wayland:") + handle;
}
