#pragma once

#include "core/desktop/CancellationFlag.h"
#include "core/desktop/SelectionResult.h"

#include <QObject>
#include <QUuid>
#include <functional>

// One running selection read, as its caller sees it. Lives on the main
// thread. It ends exactly once: finished with a result (which may hold no
// context), or cancelled. finished() is always emitted from the event loop,
// so a caller can connect after the fetch was started. Cancellation is not a
// failure: a cancelled fetch emits finished() with an empty result, and the
// work behind it still cleans up (a clipboard probe restores the clipboard).
class SelectionFetch : public QObject
{
    Q_OBJECT

public:
    enum class State { running, finished, cancelled };

    explicit SelectionFetch(QUuid requestID, QObject *parent = nullptr);
    ~SelectionFetch() override;

    QUuid requestID() const { return m_requestID; }
    State state() const { return m_state; }
    bool isFinished() const { return m_state != State::running; }
    bool wasCancelled() const { return m_state == State::cancelled; }
    // The result once finished; empty while running or when cancelled.
    const SelectionResult &result() const { return m_result; }

    void cancel();

    // For the producer of the result.
    void finishWithResult(SelectionResult result);
    // Shared with the worker; set by cancel().
    CancellationFlag cancellationFlag() const { return m_cancellation; }
    // Called once by cancel() while running, after the flag is set.
    void setCancelHandler(std::function<void()> handler);

Q_SIGNALS:
    void finished(QUuid requestID, const SelectionResult &result);

private:
    void end(State state);

    QUuid m_requestID;
    State m_state = State::running;
    SelectionResult m_result;
    CancellationFlag m_cancellation;
    std::function<void()> m_cancelHandler;
};
