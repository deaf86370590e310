#include "core/ai/AIReply.h"

#include <QPointer>
#include <QTimer>
#include <utility>

AIReply::AIReply(QObject *parent)
    : QObject(parent)
{
}

AIReply::~AIReply() = default;

void AIReply::cancel()
{
    if (isFinished())
        return;
    auto handler = std::exchange(m_cancelHandler, nullptr);
    end(State::cancelled);
    if (handler)
        handler();
}

void AIReply::finishWithText(const QString &text)
{
    if (isFinished())
        return;
    m_text = text;
    m_cancelHandler = nullptr;
    end(State::succeeded);
}

void AIReply::finishWithError(const AIClientError &error)
{
    if (isFinished())
        return;
    m_error = error;
    m_cancelHandler = nullptr;
    end(State::failed);
}

void AIReply::setCancelHandler(std::function<void()> handler)
{
    m_cancelHandler = std::move(handler);
}

void AIReply::follow(AIReply *inner)
{
    inner->setParent(this);
    QPointer<AIReply> innerGuard(inner);
    setCancelHandler([innerGuard] {
        if (innerGuard)
            innerGuard->cancel();
    });
    connect(inner, &AIReply::finished, this, [this, inner] {
        switch (inner->state()) {
        case State::succeeded:
            finishWithText(inner->text());
            break;
        case State::failed:
            finishWithError(*inner->error());
            break;
        case State::cancelled:
            if (!isFinished()) {
                m_cancelHandler = nullptr;
                end(State::cancelled);
            }
            break;
        case State::running:
            break;
        }
    });
}

AIReply *AIReply::failed(const AIClientError &error, QObject *parent)
{
    auto *reply = new AIReply(parent);
    reply->finishWithError(error);
    return reply;
}

void AIReply::end(State state)
{
    m_state = state;
    QPointer<AIReply> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self)
            Q_EMIT self->finished();
    });
}
