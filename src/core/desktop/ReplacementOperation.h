#pragma once

#include "core/support/AsyncOperation.h"

#include <QString>

// One running replacement, as its caller sees it. Lives on the main thread
// and ends exactly once: succeeded when the text was dispatched (written, or
// the paste keystroke sent), failed when nothing was sent (the clipboard is
// already back), or cancelled (not a failure; nothing more is sent). Work
// that follows the dispatch (putting the user's clipboard back after a paste)
// carries on after finished().
class ReplacementOperation : public AsyncOperation
{
    Q_OBJECT

public:
    explicit ReplacementOperation(QObject *parent = nullptr);

    bool wasDispatched() const { return state() == State::succeeded; }
    // Why nothing was written, for the user, when the producer knows more
    // than that it failed; empty otherwise.
    QString failureMessage() const { return m_failureMessage; }

    // For the producer.
    void finish(bool dispatched, const QString &failureMessage = {});

private:
    QString m_failureMessage;
};
