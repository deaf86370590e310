#pragma once

#include "cli/CliCommand.h"

// `wrenlark toggle`, `preferences`, `capture` and `quit`: commands for
// the running application, over the session bus.
CliCommand toggleCommand();
CliCommand preferencesCommand();
CliCommand quitCommand();
CliCommand captureCommand();
