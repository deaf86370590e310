#include "core/desktop/ReplacementOperation.h"

ReplacementOperation::ReplacementOperation(QObject *parent)
    : AsyncOperation(parent)
{
}

void ReplacementOperation::finish(bool dispatched, const QString &failureMessage)
{
    if (!isFinished() && !dispatched)
        m_failureMessage = failureMessage;
    end(dispatched ? State::succeeded : State::failed);
}
