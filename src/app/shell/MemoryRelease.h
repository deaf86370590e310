#pragma once

// The resident application gives memory it no longer uses back to the
// system. glibc's allocator keeps freed heap pages mapped (most of them are
// in the middle of its arenas, where it never trims on its own), so what a
// start-up or a bar session needed for a moment would stay resident for the
// rest of the run.
namespace MemoryRelease {

// Returns the allocator's whole free pages, in every arena, to the system
// and empties Qt's pixmap cache (drawn again on the next paint). Returns
// whether the allocator gave any memory back.
bool releaseUnusedMemory();

} // namespace MemoryRelease
