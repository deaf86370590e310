#include "core/desktop/SelectionFetch.h"

#include <QMetaObject>
#include <utility>

SelectionFetch::SelectionFetch(QUuid requestID, QObject *parent)
    : QObject(parent)
    , m_requestID(requestID)
{
}

SelectionFetch::~SelectionFetch()
{
    // A handle deleted while running stops the work behind it.
    m_cancellation.cancel();
}

void SelectionFetch::cancel()
{
    if (isFinished())
        return;
    m_cancellation.cancel();
    auto handler = std::exchange(m_cancelHandler, nullptr);
    m_result = SelectionResult::empty();
    end(State::cancelled);
    if (handler)
        handler();
}

void SelectionFetch::finishWithResult(SelectionResult result)
{
    if (isFinished())
        return;
    m_cancelHandler = nullptr;
    m_result = std::move(result);
    end(State::finished);
}

void SelectionFetch::setCancelHandler(std::function<void()> handler)
{
    m_cancelHandler = std::move(handler);
}

void SelectionFetch::end(State state)
{
    m_state = state;
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT finished(m_requestID, m_result); }, Qt::QueuedConnection);
}
