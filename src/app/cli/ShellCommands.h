#pragma once

#include "cli/CliCommand.h"

// `wrenlark toggle`, `run`, `preferences`, `capture` and `quit`: commands for
// the running application, over the session bus.
CliCommand toggleCommand();
CliCommand runCommand(std::shared_ptr<SecretStore> secrets);
CliCommand preferencesCommand();
CliCommand quitCommand();
CliCommand captureCommand();
