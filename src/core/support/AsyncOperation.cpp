#include "core/support/AsyncOperation.h"

#include <QTimer>
#include <utility>

AsyncOperation::AsyncOperation(QObject *parent)
    : QObject(parent)
{
}

void AsyncOperation::cancel()
{
    if (isFinished())
        return;
    auto handler = std::exchange(m_cancelHandler, nullptr);
    end(State::cancelled);
    if (handler)
        handler();
}

void AsyncOperation::setCancelHandler(std::function<void()> handler)
{
    m_cancelHandler = std::move(handler);
}

void AsyncOperation::end(State state)
{
    if (isFinished())
        return;
    m_state = state;
    m_cancelHandler = nullptr;
    // The timer's context is this object, so a deleted operation emits nothing.
    QTimer::singleShot(0, this, [this] { Q_EMIT finished(); });
}
