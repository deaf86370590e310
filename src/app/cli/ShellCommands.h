#pragma once

#include "cli/CliCommand.h"

// `wrenlark toggle`, `wrenlark preferences` and `wrenlark quit`: commands for
// the running application, over the session bus.
CliCommand toggleCommand();
CliCommand preferencesCommand();
CliCommand quitCommand();
