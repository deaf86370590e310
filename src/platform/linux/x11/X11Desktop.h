#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct _XDisplay;

// The X11 desktop as the window manager describes it (EWMH): the active
// window, the managed windows and the processes that own them, activation,
// selection owners. Main thread only. Uses a connection of its own, so its
// requests never interleave with Qt's; LinuxDesktopConnections holds the
// process's one.
class X11Desktop
{
public:
    using WindowId = quint64;

    X11Desktop();
    ~X11Desktop();
    Q_DISABLE_COPY_MOVE(X11Desktop)

    // False when there is no X display (Wayland without Xwayland, no DISPLAY).
    bool isAvailable() const { return m_display != nullptr; }
    _XDisplay *display() const { return m_display; }

    // The window manager's name when it announces itself (EWMH), else empty.
    QString windowManagerName();
    bool supportsActiveWindowHint();

    WindowId activeWindow();
    // Managed top-level windows, bottom to top.
    QList<WindowId> clientWindows();
    // _NET_WM_PID of the window; 0 when absent.
    qint32 windowPid(WindowId window);
    // WM_CLASS: instance and class name; empty when absent.
    QStringList windowClass(WindowId window);
    // The topmost managed window of the process; 0 when it has none.
    WindowId topWindowOfProcess(qint32 pid);

    // Asks the window manager to activate the window, as a pager would
    // (source indication 2), so focus-stealing prevention lets it through.
    bool activateWindow(WindowId window);

    // The pid of the process owning the selection ("PRIMARY", "CLIPBOARD"):
    // _NET_WM_PID of the owner window or of its top-level, else the pid of a
    // managed window created by the same X client. 0 when no owner or unknown.
    qint32 selectionOwnerPid(const char *selectionName);

private:
    unsigned long atom(const char *name);
    QList<WindowId> windowListProperty(WindowId window, const char *property);
    WindowId topLevelOf(WindowId window);

    _XDisplay *m_display = nullptr;
};
