#pragma once

#include "cli/CliCommand.h"

// `wrenlark doctor`: what this desktop offers Wrenlark, one line each.
CliCommand doctorCommand();
