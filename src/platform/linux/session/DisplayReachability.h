#pragma once

#include <QStringList>

// A DISPLAY or WAYLAND_DISPLAY left over from another session (an SSH
// login, a terminal started before a restart, a display since closed)
// names a display that cannot be opened, and Qt stops the program when
// its platform cannot connect. Before the QApplication exists, such a
// variable is dropped from this process's environment, so Qt takes the
// other display, or the command runs without one.
namespace DisplayReachability {

// Drops what cannot be opened; returns one sentence for each dropped
// variable, naming what is used instead.
QStringList dropUnreachableDisplays();

} // namespace DisplayReachability
