#pragma once

#include <functional>

// The process-wide clipboard lock: one clipboard probe or staged paste at a
// time, in the order they asked, so none of them saves another one's
// temporary contents as the user's. Everything runs on the main thread, so
// the lock is a queue of waiting starts rather than a mutex.
namespace ClipboardLock {

// Runs `start` now when the lock is free, else when it is its turn (from
// the event loop). The holder must call release() exactly once.
void acquire(std::function<void()> start);
void release();
// Holders and waiters.
int count();

} // namespace ClipboardLock
