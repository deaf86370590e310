#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

class QWindow;

// Who tells the windows of the desktop and their processes: the X11 window
// manager, or a compositor that says so over its own IPC. Main thread only;
// each call is a quick request to the display server or compositor.
class WindowSource
{
public:
    virtual ~WindowSource() = default;

    // Process of the window with the keyboard focus; 0 when there is none
    // or it is unknown.
    virtual qint32 focusedWindowPid() = 0;
    // The window class of the process's most recently used window (WM_CLASS
    // class, or a Wayland app_id; empty when it has none). Absent when the
    // process has no window here.
    virtual std::optional<QString> windowClassOf(qint32 pid) = 0;
    // Focuses the process's most recently used window; false when it has
    // none or the request failed.
    virtual bool focusWindowOf(qint32 pid) = 0;
    // Raises and focuses one of this process's own windows.
    virtual void focusOwnWindow(QWindow *window) = 0;
};
