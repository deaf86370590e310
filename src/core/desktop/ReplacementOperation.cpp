#include "core/desktop/ReplacementOperation.h"

#include <QMetaObject>
#include <utility>

ReplacementOperation::ReplacementOperation(QObject *parent)
    : QObject(parent)
{
}

void ReplacementOperation::cancel()
{
    if (isFinished())
        return;
    auto handler = std::exchange(m_cancelHandler, nullptr);
    end(State::cancelled);
    if (handler)
        handler();
}

void ReplacementOperation::finish(bool dispatched)
{
    if (isFinished())
        return;
    m_cancelHandler = nullptr;
    end(dispatched ? State::dispatched : State::failed);
}

void ReplacementOperation::setCancelHandler(std::function<void()> handler)
{
    m_cancelHandler = std::move(handler);
}

void ReplacementOperation::end(State state)
{
    m_state = state;
    const bool dispatched = state == State::dispatched;
    QMetaObject::invokeMethod(
        this, [this, dispatched] { Q_EMIT finished(dispatched); }, Qt::QueuedConnection);
}
