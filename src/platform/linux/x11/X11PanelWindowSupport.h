#pragma once

#include "core/desktop/PanelWindowSupport.h"

class X11Desktop;

// The command bar's window on X11 (EWMH window manager). Without an X11
// display (Wayland) every call does nothing and answers "unknown", except
// the clipboard question, which does not depend on the display.
class X11PanelWindowSupport : public PanelWindowSupport
{
public:
    explicit X11PanelWindowSupport(X11Desktop &x11);

    void preparePanelWindow(WindowId window) override;
    void activatePanelWindow(WindowId window, quint32 timestamp) override;
    std::optional<QPoint> focusedWindowCenter() override;
    bool hasCompositor() override;
    bool isClipboardOperationRunning() override;
    std::optional<bool> holdsKeyboardFocus(WindowId window) override;

private:
    X11Desktop &m_x11;
    bool m_available = false;
};
