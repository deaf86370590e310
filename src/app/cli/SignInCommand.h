#pragma once

#include "cli/CliCommand.h"

// `wrenlark signin`: signs in to the OpenAI Pro/Plus account in the browser
// (or with a device code when the callback port is taken) and stores the
// session in the keyring.
CliCommand signInCommand(std::shared_ptr<SecretStore> secrets);
