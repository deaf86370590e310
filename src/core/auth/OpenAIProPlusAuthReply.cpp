#include "core/auth/OpenAIProPlusAuthReply.h"

#include <QPointer>
#include <QTimer>
#include <utility>

OpenAIProPlusAuthReply::OpenAIProPlusAuthReply(QObject *parent)
    : QObject(parent)
{
}

OpenAIProPlusAuthReply::~OpenAIProPlusAuthReply() = default;

void OpenAIProPlusAuthReply::cancel()
{
    if (isFinished())
        return;
    auto handler = std::exchange(m_cancelHandler, nullptr);
    end(State::cancelled);
    if (handler)
        handler();
}

void OpenAIProPlusAuthReply::finishWithSession(const OpenAIProPlusAuthSession &session)
{
    if (isFinished())
        return;
    m_session = session;
    m_cancelHandler = nullptr;
    end(State::succeeded);
}

void OpenAIProPlusAuthReply::finishWithError(const OpenAIProPlusAuthError &error)
{
    if (isFinished())
        return;
    m_error = error;
    m_cancelHandler = nullptr;
    end(State::failed);
}

void OpenAIProPlusAuthReply::setCancelHandler(std::function<void()> handler)
{
    m_cancelHandler = std::move(handler);
}

OpenAIProPlusAuthReply *OpenAIProPlusAuthReply::failed(const OpenAIProPlusAuthError &error,
                                                       QObject *parent)
{
    auto *reply = new OpenAIProPlusAuthReply(parent);
    reply->finishWithError(error);
    return reply;
}

void OpenAIProPlusAuthReply::end(State state)
{
    m_state = state;
    QPointer<OpenAIProPlusAuthReply> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            Q_EMIT self->finished();
    });
}
