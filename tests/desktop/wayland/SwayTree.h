#pragma once

#include <QList>
#include <QRect>
#include <QString>
#include <optional>

// The windows sway shows, as its IPC (swaymsg -t get_tree) describes them.
struct SwayView
{
    QString name;  // the window title
    QString appId; // Wayland clients only
    QString shell; // "xdg_shell" or "xwayland"
    qint64 pid = 0;
    bool focused = false;
    bool floating = false;
    QRect rect;
};

// An output as sway describes it (swaymsg -t get_outputs).
struct SwayOutput
{
    QString name;
    QRect rect; // logical coordinates
    qreal scale = 1.0;
};

namespace SwayTree {

// Every view on every output; nothing when swaymsg failed.
QList<SwayView> views();
// The view with the keyboard focus, if any.
std::optional<SwayView> focusedView();
// Its process; 0 when nothing has the focus.
qint64 focusedPid();
// The views of one process.
QList<SwayView> viewsOf(qint64 pid);
// The size of the first output.
QRect outputRect();
// Every output.
QList<SwayOutput> outputs();

} // namespace SwayTree
