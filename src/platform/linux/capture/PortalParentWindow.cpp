#include "platform/linux/capture/PortalParentWindow.h"

#include <QGuiApplication>
#include <QWindow>

QString portalParentWindow()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    QWindow *window = QGuiApplication::focusWindow();
    // A dialog of ours names the window it belongs to.
    while (window && window->transientParent())
        window = window->transientParent();
    // A menu or tooltip is gone before the portal's dialog shows.
    if (!window || !window->isVisible() || window->type() == Qt::Popup ||
        window->type() == Qt::ToolTip)
        return {};
    return QStringLiteral("x11:") + QString::number(window->winId(), 16);
}
