#include "ProcessHardening.h"

#include <sys/prctl.h>

namespace ProcessHardening {

bool keepSecretsOutOfCoreDumps()
{
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

} // namespace ProcessHardening
