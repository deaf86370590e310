#pragma once

#include <QPoint>
#include <QtGlobal>
#include <optional>

// What the floating command bar needs of the desktop beyond what the toolkit
// offers: a panel's window-manager states, taking focus when summoned from
// another application, where the user is working, and whether a clipboard
// operation is moving activation on purpose. Main thread only.
class PanelWindowSupport
{
public:
    // The native window id (QWidget::winId()).
    using WindowId = quint64;

    virtual ~PanelWindowSupport() = default;

    // Marks a created, not yet shown top-level as a panel: on every desktop,
    // above other windows, with no taskbar or pager entry.
    virtual void preparePanelWindow(WindowId window) = 0;
    // Makes the shown window the active one with keyboard focus, also under
    // focus-stealing prevention. `timestamp` is the server time of the user
    // action that summoned it (0 when unknown).
    virtual void activatePanelWindow(WindowId window, quint32 timestamp) = 0;
    // The centre of the desktop's focused window, in native pixels of the
    // virtual desktop; nothing when no window is focused or it is unknown.
    virtual std::optional<QPoint> focusedWindowCenter() = 0;
    // Whether a compositing manager runs (translucent pixels show what is
    // behind the window).
    virtual bool hasCompositor() = 0;
    // Whether a clipboard probe or paste is running: those activate another
    // window on purpose, so the panel losing activation then is no click
    // outside.
    virtual bool isClipboardOperationRunning() = 0;
    // Whether the window holds the keyboard focus now, as the window system
    // tells; nothing when it cannot tell. X11 reports a window's loss of
    // focus late, even after the focus came back.
    virtual std::optional<bool> holdsKeyboardFocus(WindowId window)
    {
        Q_UNUSED(window);
        return std::nullopt;
    }
};
