#include "core/auth/OpenAIProPlusAuthReply.h"

OpenAIProPlusAuthReply::OpenAIProPlusAuthReply(QObject *parent)
    : SignInReply(parent)
{
}

OpenAIProPlusAuthReply::~OpenAIProPlusAuthReply() = default;

QString OpenAIProPlusAuthReply::failureText() const
{
    return m_error ? m_error->errorDescription() : QString();
}

void OpenAIProPlusAuthReply::finishWithSession(const OpenAIProPlusAuthSession &session)
{
    if (isFinished())
        return;
    m_session = session;
    end(State::succeeded);
}

void OpenAIProPlusAuthReply::finishWithError(const OpenAIProPlusAuthError &error)
{
    if (isFinished())
        return;
    m_error = error;
    end(State::failed);
}

OpenAIProPlusAuthReply *OpenAIProPlusAuthReply::failed(const OpenAIProPlusAuthError &error,
                                                       QObject *parent)
{
    auto *reply = new OpenAIProPlusAuthReply(parent);
    reply->finishWithError(error);
    return reply;
}
