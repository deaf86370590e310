#include "platform/linux/applications/X11WindowSource.h"

#include "platform/linux/x11/X11Desktop.h"

#include <QStringList>
#include <QWindow>

qint32 X11WindowSource::focusedWindowPid()
{
    return m_x11.windowPid(m_x11.activeWindow());
}

std::optional<QString> X11WindowSource::windowClassOf(qint32 pid)
{
    const auto window = m_x11.topWindowOfProcess(pid);
    if (window == 0)
        return std::nullopt;
    const QStringList windowClass = m_x11.windowClass(window);
    return windowClass.size() == 2 ? windowClass.at(1) : QString();
}

bool X11WindowSource::focusWindowOf(qint32 pid)
{
    return m_x11.activateWindow(m_x11.topWindowOfProcess(pid));
}

void X11WindowSource::focusOwnWindow(QWindow *window)
{
    window->raise();
    window->requestActivate();
}
