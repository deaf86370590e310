#pragma once

#include "core/auth/OpenAIProPlusAuthError.h"
#include "core/auth/OpenAIProPlusAuthSession.h"
#include "core/auth/SignInReply.h"

#include <QObject>
#include <functional>
#include <optional>

// One running sign-in operation (an interactive sign-in or fetching a valid
// session): succeeded with the session, failed with an OpenAIProPlusAuthError,
// or cancelled (cancel() stops the work at any step).
class OpenAIProPlusAuthReply : public SignInReply
{
    Q_OBJECT

public:
    explicit OpenAIProPlusAuthReply(QObject *parent = nullptr);
    ~OpenAIProPlusAuthReply() override;

    const std::optional<OpenAIProPlusAuthSession> &session() const { return m_session; }
    const std::optional<OpenAIProPlusAuthError> &error() const { return m_error; }
    QString failureText() const override;

    // For the producer.
    void finishWithSession(const OpenAIProPlusAuthSession &session);
    void finishWithError(const OpenAIProPlusAuthError &error);

    static OpenAIProPlusAuthReply *failed(const OpenAIProPlusAuthError &error,
                                          QObject *parent = nullptr);

private:
    std::optional<OpenAIProPlusAuthSession> m_session;
    std::optional<OpenAIProPlusAuthError> m_error;
};
