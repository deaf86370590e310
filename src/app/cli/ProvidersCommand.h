#pragma once

#include "cli/CliCommand.h"

// `wrenlark providers`: every provider, its model, whether it is configured,
// and which one is current.
CliCommand providersCommand(std::shared_ptr<SecretStore> secrets);
