#pragma once

#include "cli/CliCommand.h"

// `wrenlark ask [--provider ID] [--model NAME] INSTRUCTION...`: the standard
// input is the selected text, the reply streams to standard output. With
// --from-selection the text comes from `desktop` instead.
CliCommand askCommand(std::shared_ptr<SecretStore> secrets, const DesktopCommands &desktop);
