#include "platform/linux/clipboard/ClipboardLock.h"

#include <QQueue>
#include <QTimer>

namespace {

struct LockState
{
    QQueue<std::function<void()>> waiting;
    bool busy = false;
};

LockState &state()
{
    static LockState lock;
    return lock;
}

} // namespace

namespace ClipboardLock {

void acquire(std::function<void()> start)
{
    auto &lock = state();
    if (lock.busy) {
        lock.waiting.enqueue(std::move(start));
        return;
    }
    lock.busy = true;
    start();
}

void release()
{
    auto &lock = state();
    if (lock.waiting.isEmpty()) {
        lock.busy = false;
        return;
    }
    QTimer::singleShot(0, [next = lock.waiting.dequeue()] { next(); });
}

int count()
{
    const auto &lock = state();
    return int(lock.waiting.size()) + (lock.busy ? 1 : 0);
}

} // namespace ClipboardLock
