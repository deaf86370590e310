#include "core/desktop/ReplacementOperation.h"

ReplacementOperation::ReplacementOperation(QObject *parent)
    : AsyncOperation(parent)
{
}

void ReplacementOperation::finish(bool dispatched)
{
    end(dispatched ? State::succeeded : State::failed);
}
