#include "support/FakeSelectionService.h"

SelectionFetch *FakeSelectionService::fetchSelection(const SelectionRequest &request,
                                                     QObject *parent)
{
    return start(Kind::fetch, request, parent);
}

SelectionFetch *
FakeSelectionService::fetchSelectionViaClipboardOnly(const SelectionRequest &request,
                                                     QObject *parent)
{
    return start(Kind::clipboardOnly, request, parent);
}

void FakeSelectionService::enqueueResult(Kind kind, SelectionResult result)
{
    m_queued[int(kind)].enqueue(std::move(result));
}

void FakeSelectionService::setDefaultResult(Kind kind, SelectionResult result)
{
    m_defaults[int(kind)] = std::move(result);
}

bool FakeSelectionService::finishCall(int index)
{
    if (index < 0 || index >= m_calls.size())
        return false;
    return finishCall(index, m_calls[index].plannedResult);
}

bool FakeSelectionService::finishCall(int index, SelectionResult result)
{
    if (index < 0 || index >= m_calls.size())
        return false;
    SelectionFetch *fetch = m_calls[index].fetch;
    if (!fetch || fetch->isFinished())
        return false;
    fetch->finishWithResult(std::move(result));
    return true;
}

SelectionFetch *FakeSelectionService::start(Kind kind, const SelectionRequest &request,
                                            QObject *parent)
{
    auto &queue = m_queued[int(kind)];
    SelectionResult planned = queue.isEmpty() ? m_defaults[int(kind)] : queue.dequeue();
    auto *fetch = new SelectionFetch(request.requestID, parent);
    fetch->setCancelHandler([this] { ++m_cancelled; });
    m_calls.append({kind, request, fetch, planned});
    if (m_autoFinish)
        fetch->finishWithResult(std::move(planned));
    return fetch;
}
