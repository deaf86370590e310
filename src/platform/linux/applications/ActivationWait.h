#pragma once

#include "core/desktop/CancellationFlag.h"

#include <QtGlobal>
#include <functional>

class QObject;
class RunningApplications;

// Waits, without blocking the event loop, until `pid` owns the active
// window: polls every 0.02 s, asks the window manager again on every sixth
// poll, and once the target is frontmost pauses `pauseWhenActive` seconds
// (time for the window to take keyboard focus) before calling `done(true)`.
// A time-out or cancellation calls `done(false)` at once. With pid 0 it only
// pauses `pauseWithoutTarget` seconds. Nothing runs after `context` is gone.
struct ActivationWait
{
    double timeout = 0.45;
    double pauseWhenActive = 0.05;
    double pauseWithoutTarget = 0.05;

    void start(QObject *context, RunningApplications &applications, qint32 pid,
               CancellationFlag cancellation, std::function<void(bool active)> done) const;
};
