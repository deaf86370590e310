#pragma once

#include "cli/CliCommand.h"

// `wrenlark doctor`: what this desktop offers Wrenlark, one line each. The
// checks themselves (DoctorChecks::run) are the desktop executable's.
CliCommand doctorCommand(const DesktopCommands &desktop);

namespace DoctorChecks {
int run(const QStringList &arguments);
}
