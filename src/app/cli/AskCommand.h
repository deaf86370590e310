#pragma once

#include "cli/CliCommand.h"

// `wrenlark ask [--provider ID] [--model NAME] INSTRUCTION...`: the standard
// input is the selected text, the reply streams to standard output.
CliCommand askCommand();
