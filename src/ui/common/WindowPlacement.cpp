#include "ui/common/WindowPlacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace WindowPlacement {

namespace {

QScreen *screenFor(QWidget *window)
{
    if (QScreen *screen = window->screen())
        return screen;
    if (QScreen *primary = QGuiApplication::primaryScreen())
        return primary;
    const QList<QScreen *> screens = QGuiApplication::screens();
    return screens.isEmpty() ? nullptr : screens.first();
}

} // namespace

void centerOnScreen(QWidget *window, QSize contentSize)
{
    QScreen *screen = screenFor(window);
    if (!screen)
        return;
    QRect frame(QPoint(0, 0), contentSize);
    frame.moveCenter(screen->availableGeometry().center());
    window->resize(contentSize);
    window->move(frame.topLeft());
}

void bringToFront(QWidget *window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
    if (QWindow *handle = window->windowHandle())
        handle->requestActivate();
}

} // namespace WindowPlacement
