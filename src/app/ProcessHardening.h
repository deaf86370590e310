#pragma once

// Keeps the secrets this process holds (API keys, the subscription's tokens)
// out of core files and away from other processes of the same user.
namespace ProcessHardening {

// Marks the process as not dumpable: a crash leaves no core file with a key
// in it, and other unprivileged processes cannot attach to it or read its
// memory. The mark is dropped by exec(), so programs started from here are
// unaffected. Logs nothing; answers whether it took effect.
bool keepSecretsOutOfCoreDumps();

} // namespace ProcessHardening
