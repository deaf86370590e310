#pragma once

#include <QString>

// The `wrenlark` a user runs. Wrenlark is two executables: `wrenlark`, the
// command line, which hands the resident application and the commands that
// work with the desktop over to `wrenlark-desktop` (exec, same process).
// Whatever is written down to run Wrenlark later (the login item, a desktop's
// keyboard shortcut, a restart, a clipboard keeper) names `wrenlark`, never
// the desktop executable.
namespace WrenlarkCommand {

// Through this variable `wrenlark` tells the executable it hands over to
// where it is itself.
inline constexpr char pathVariable[] = "WRENLARK_COMMAND";
inline constexpr char desktopExecutableName[] = "wrenlark-desktop";

// Takes the path `wrenlark` handed over and removes the variable, so no
// program this process starts inherits it. Call once, early in main.
void adoptHandedOverPath();

// The path of `wrenlark`: the AppImage file when this runs from one; else
// the one handed over; else a `wrenlark` beside this
// executable when this is `wrenlark-desktop` started by hand; else this
// executable. Needs the QCoreApplication for the last two.
QString path();

} // namespace WrenlarkCommand
