#pragma once

#include "core/auth/OpenAIProPlusAuthError.h"
#include "core/auth/OpenAIProPlusAuthSession.h"

#include <QObject>
#include <functional>
#include <optional>

// One running sign-in operation (an interactive sign-in or fetching a valid
// session), as its caller sees it. Lives on the thread that created it. It
// ends exactly once: succeeded with the session, failed with an
// OpenAIProPlusAuthError, or cancelled; finished() is always emitted from the
// event loop, so a caller can connect after the call that made it returned.
// Cancellation is not a failure: cancel() stops the work at any step and
// ends the operation as cancelled.
class OpenAIProPlusAuthReply : public QObject
{
    Q_OBJECT

public:
    enum class State { running, succeeded, failed, cancelled };

    explicit OpenAIProPlusAuthReply(QObject *parent = nullptr);
    ~OpenAIProPlusAuthReply() override;

    State state() const { return m_state; }
    bool isFinished() const { return m_state != State::running; }
    const std::optional<OpenAIProPlusAuthSession> &session() const { return m_session; }
    const std::optional<OpenAIProPlusAuthError> &error() const { return m_error; }

    void cancel();

    // For the producer.
    void finishWithSession(const OpenAIProPlusAuthSession &session);
    void finishWithError(const OpenAIProPlusAuthError &error);
    // Called once by cancel() while running.
    void setCancelHandler(std::function<void()> handler);

    static OpenAIProPlusAuthReply *failed(const OpenAIProPlusAuthError &error,
                                          QObject *parent = nullptr);

Q_SIGNALS:
    void finished();

private:
    void end(State state);

    State m_state = State::running;
    std::optional<OpenAIProPlusAuthSession> m_session;
    std::optional<OpenAIProPlusAuthError> m_error;
    std::function<void()> m_cancelHandler;
};
