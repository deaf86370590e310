#pragma once

#include "cli/CliCommand.h"

// `wrenlark key set PROVIDER_ID` (the key comes from standard input) and
// `wrenlark key delete PROVIDER_ID`.
CliCommand keyCommand(std::shared_ptr<SecretStore> secrets);
