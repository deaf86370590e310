#pragma once

#include "platform/linux/applications/WindowSource.h"

class X11Desktop;

// The windows an EWMH window manager manages: _NET_ACTIVE_WINDOW,
// _NET_WM_PID, WM_CLASS, activation by a client message. Under XWayland
// it sees X11 windows only.
class X11WindowSource : public WindowSource
{
public:
    explicit X11WindowSource(X11Desktop &x11)
        : m_x11(x11)
    {
    }

    qint32 focusedWindowPid() override;
    std::optional<QString> windowClassOf(qint32 pid) override;
    bool focusWindowOf(qint32 pid) override;
    void focusOwnWindow(QWindow *window) override;

private:
    X11Desktop &m_x11;
};
