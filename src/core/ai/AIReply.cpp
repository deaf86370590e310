#include "core/ai/AIReply.h"

#include <QPointer>
#include <QTimer>
#include <utility>

AIReply::AIReply(QObject *parent)
    : AsyncOperation(parent)
{
}

AIReply::~AIReply() = default;

void AIReply::finishWithText(const QString &text)
{
    if (isFinished())
        return;
    m_text = text;
    end(State::succeeded);
}

void AIReply::finishWithError(const AIClientError &error)
{
    if (isFinished())
        return;
    m_error = error;
    end(State::failed);
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
            end(State::cancelled);
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
