#include "core/desktop/SelectionFetch.h"

#include <utility>

SelectionFetch::SelectionFetch(QUuid requestID, QObject *parent)
    : AsyncOperation(parent)
    , m_requestID(requestID)
{
    setCancelHandler(nullptr);
}

SelectionFetch::~SelectionFetch()
{
    // A handle deleted while running stops the work behind it.
    m_cancellation.cancel();
}

void SelectionFetch::finishWithResult(SelectionResult result)
{
    if (isFinished())
        return;
    m_result = std::move(result);
    end(State::succeeded);
}

void SelectionFetch::setCancelHandler(std::function<void()> handler)
{
    AsyncOperation::setCancelHandler([flag = m_cancellation, handler = std::move(handler)] {
        flag.cancel();
        if (handler)
            handler();
    });
}
