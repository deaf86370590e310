#include "platform/linux/applications/X11WindowSource.h"

#include "platform/linux/x11/X11Desktop.h"

#include <QStringList>
#include <QWindow>

qint32 X11WindowSource::focusedWindowPid()
{
    auto &desktop = X11Desktop::shared();
    return desktop.windowPid(desktop.activeWindow());
}

std::optional<QString> X11WindowSource::windowClassOf(qint32 pid)
{
    auto &desktop = X11Desktop::shared();
    const auto window = desktop.topWindowOfProcess(pid);
    if (window == 0)
        return std::nullopt;
    const QStringList windowClass = desktop.windowClass(window);
    return windowClass.size() == 2 ? windowClass.at(1) : QString();
}

bool X11WindowSource::focusWindowOf(qint32 pid)
{
    auto &desktop = X11Desktop::shared();
    return desktop.activateWindow(desktop.topWindowOfProcess(pid));
}

void X11WindowSource::focusOwnWindow(QWindow *window)
{
    window->raise();
    window->requestActivate();
}
