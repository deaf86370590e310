#pragma once

#include "cli/CliCommand.h"

// `wrenlark doctor`: what this desktop offers Wrenlark, one line each. The
// checks themselves (DoctorChecks::run) are the desktop executable's.
CliCommand doctorCommand(const DesktopCommands &desktop);

namespace DoctorChecks {
// `secrets` is the desktop's secret store, where the settings keep keys.
int run(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets);
} // namespace DoctorChecks
