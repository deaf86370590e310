#pragma once

#include "cli/CliCommand.h"

// `wrenlark signout`: disconnects the OpenAI Pro/Plus account, as Settings
// does, by deleting the stored session.
CliCommand signOutCommand(std::shared_ptr<SecretStore> secrets);
