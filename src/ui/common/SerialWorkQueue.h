#pragma once

#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <functional>

// Runs blocking calls (the keyring, D-Bus) one after another on a thread of
// its own, in the order they were queued, and hands each result back to the
// main thread. A result whose receiver has gone is dropped. Destroying the
// queue waits for what is queued, so nothing the user typed is lost when a
// window goes away.
class SerialWorkQueue : public QObject
{
    Q_OBJECT

public:
    explicit SerialWorkQueue(QObject *parent = nullptr);
    ~SerialWorkQueue() override;

    // Runs `work` off the main thread, then `done` with its result on the
    // thread of `receiver` (while it lives).
    template<typename Result>
    void run(QObject *receiver, std::function<Result()> work, std::function<void(Result)> done)
    {
        QPointer<QObject> target(receiver);
        enqueue([target, work = std::move(work), done = std::move(done)]() {
            Result result = work();
            if (!target)
                return;
            QMetaObject::invokeMethod(
                target.data(),
                [target, done, result = std::move(result)]() {
                    if (target)
                        done(result);
                },
                Qt::QueuedConnection);
        });
    }

    void enqueue(std::function<void()> work);
    // Blocks until everything queued so far has run (application exit, tests).
    void waitForDone();

private:
    QThreadPool m_pool;
};
