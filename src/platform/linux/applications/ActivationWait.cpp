#include "platform/linux/applications/ActivationWait.h"

#include "core/desktop/RunningApplications.h"
#include "core/support/MonotonicClock.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace {

constexpr double pollInterval = 0.02;
constexpr int reactivateEveryPolls = 6;

struct Poller : std::enable_shared_from_this<Poller>
{
    QPointer<QObject> context;
    RunningApplications *applications = nullptr;
    qint32 pid = 0;
    double timeout = 0;
    double pauseWhenActive = 0;
    CancellationFlag cancellation;
    std::function<void(bool)> done;
    MonotonicStopwatch clock;
    int polls = 0;

    void poll()
    {
        if (!context)
            return;
        if (cancellation.isCancelled() || clock.elapsedSeconds() >= timeout) {
            done(false);
            return;
        }
        if (applications->frontmostPid() == pid) {
            auto self = shared_from_this();
            QTimer::singleShot(secondsToMilliseconds(pauseWhenActive), context.data(),
                               [self] { self->done(true); });
            return;
        }
        if (++polls % reactivateEveryPolls == 0)
            applications->activate(pid);
        auto self = shared_from_this();
        QTimer::singleShot(secondsToMilliseconds(pollInterval), context.data(),
                           [self] { self->poll(); });
    }
};

} // namespace

void ActivationWait::start(QObject *context, RunningApplications &applications, qint32 pid,
                           CancellationFlag cancellation,
                           std::function<void(bool active)> done) const
{
    if (pid == 0) {
        QTimer::singleShot(secondsToMilliseconds(pauseWithoutTarget), context,
                           [done = std::move(done)] { done(false); });
        return;
    }
    auto poller = std::make_shared<Poller>();
    poller->context = context;
    poller->applications = &applications;
    poller->pid = pid;
    poller->timeout = timeout;
    poller->pauseWhenActive = pauseWhenActive;
    poller->cancellation = std::move(cancellation);
    poller->done = std::move(done);
    poller->poll();
}
