#pragma once

#include "core/ai/AIClientError.h"

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

// Receives the whole reply text received so far, after each new piece. The
// text is the client's growing buffer: a receiver that keeps a copy makes the
// next piece's append copy the whole text, so keep one only when showing it.
using AIPartialResponseHandler = std::function<void(const QString &textSoFar)>;

// One running request to an AI provider, as its caller sees it. Lives on the
// thread that created it (the main thread). It ends exactly once: succeeded
// with the reply text, failed with an AIClientError, or cancelled.
// finished() is always emitted from the event loop, never from inside the
// call that created the reply, so a caller can connect after sendRequest()
// returns. Cancellation is not a failure: cancel() aborts the transfers and
// ends the reply as cancelled.
class AIReply : public QObject
{
    Q_OBJECT

public:
    enum class State { running, succeeded, failed, cancelled };

    explicit AIReply(QObject *parent = nullptr);
    ~AIReply() override;

    State state() const { return m_state; }
    bool isFinished() const { return m_state != State::running; }
    // The reply text once succeeded.
    QString text() const { return m_text; }
    // The error once failed.
    const std::optional<AIClientError> &error() const { return m_error; }

    // Aborts the request. A running reply ends as cancelled; an ended one is
    // left as it is.
    void cancel();

    // For the producer of the reply.
    void finishWithText(const QString &text);
    void finishWithError(const AIClientError &error);
    // Called once by cancel() while running: abort whatever produces the reply.
    void setCancelHandler(std::function<void()> handler);
    // Ends this reply as `inner` ends (text, error or cancellation) and cancels
    // `inner` when this one is cancelled. Takes ownership of `inner`.
    void follow(AIReply *inner);

    // A reply that fails with `error` once the event loop runs.
    static AIReply *failed(const AIClientError &error, QObject *parent = nullptr);

Q_SIGNALS:
    void finished();

private:
    void end(State state);

    State m_state = State::running;
    QString m_text;
    std::optional<AIClientError> m_error;
    std::function<void()> m_cancelHandler;
};
