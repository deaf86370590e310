#include "support/FakeReplacementService.h"

ReplacementOperation *FakeReplacementService::replaceSelection(const SelectionContext &context,
                                                               const QString &text, QObject *parent)
{
    auto *operation = new ReplacementOperation(parent);
    m_calls.append({context, text, operation});
    if (m_autoFinish)
        operation->finish(m_dispatches, m_failureMessage);
    return operation;
}

bool FakeReplacementService::finishCall(int index, bool dispatched, const QString &failureMessage)
{
    if (index < 0 || index >= m_calls.size())
        return false;
    ReplacementOperation *operation = m_calls[index].operation;
    if (!operation || operation->isFinished())
        return false;
    operation->finish(dispatched, failureMessage);
    return true;
}
