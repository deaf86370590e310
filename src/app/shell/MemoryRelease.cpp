#include "shell/MemoryRelease.h"

#include <QPixmapCache>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace MemoryRelease {

bool releaseUnusedMemory()
{
    QPixmapCache::clear();
#if defined(__GLIBC__)
    return ::malloc_trim(0) == 1;
#else
    return false;
#endif
}

} // namespace MemoryRelease
