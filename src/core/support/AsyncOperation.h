#pragma once

#include <QObject>
#include <functional>

// One running asynchronous operation as its caller sees it: it lives on the
// thread that created it and ends exactly once, succeeded, failed or
// cancelled. finished() is always emitted from the event loop, never from
// inside the call that created the operation, so a caller can connect after
// that call returned. Cancellation is not a failure: cancel() runs the
// producer's cancel handler and ends the operation as cancelled.
// Subclasses add the result and the error and end through end().
class AsyncOperation : public QObject
{
    Q_OBJECT

public:
    enum class State { running, succeeded, failed, cancelled };

    State state() const { return m_state; }
    bool isFinished() const { return m_state != State::running; }

    // A running operation ends as cancelled; an ended one is left as it is.
    void cancel();

    // For the producer: called once by cancel() while running, to stop
    // whatever produces the result.
    void setCancelHandler(std::function<void()> handler);

Q_SIGNALS:
    void finished();

protected:
    explicit AsyncOperation(QObject *parent = nullptr);

    // Moves a running operation to `state` and queues finished().
    void end(State state);

private:
    State m_state = State::running;
    std::function<void()> m_cancelHandler;
};
