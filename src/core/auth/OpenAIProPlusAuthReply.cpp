#include "core/auth/OpenAIProPlusAuthReply.h"

OpenAIProPlusAuthReply::OpenAIProPlusAuthReply(QObject *parent)
    : AsyncOperation(parent)
{
}

OpenAIProPlusAuthReply::~OpenAIProPlusAuthReply() = default;

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
