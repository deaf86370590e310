#pragma once

#include <QObject>
#include <functional>

// One running replacement, as its caller sees it. Lives on the main thread
// and ends exactly once: dispatched (the text was written, or the paste
// keystroke was sent), failed (nothing was sent; the clipboard is already
// back), or cancelled (not a failure; nothing more is sent). finished() is
// always emitted from the event loop. Work that follows the dispatch (putting
// the user's clipboard back after a paste) carries on after finished().
class ReplacementOperation : public QObject
{
    Q_OBJECT

public:
    enum class State { running, dispatched, failed, cancelled };

    explicit ReplacementOperation(QObject *parent = nullptr);

    State state() const { return m_state; }
    bool isFinished() const { return m_state != State::running; }
    bool wasDispatched() const { return m_state == State::dispatched; }

    void cancel();

    // For the producer.
    void finish(bool dispatched);
    void setCancelHandler(std::function<void()> handler);

Q_SIGNALS:
    void finished(bool dispatched);

private:
    void end(State state);

    State m_state = State::running;
    std::function<void()> m_cancelHandler;
};
