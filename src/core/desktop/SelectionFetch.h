#pragma once

#include "core/desktop/CancellationFlag.h"
#include "core/desktop/SelectionResult.h"
#include "core/support/AsyncOperation.h"

#include <QUuid>
#include <functional>

// One running selection read, as its caller sees it. Lives on the main
// thread. It ends exactly once: succeeded with a result (which may hold no
// context), or cancelled. Cancellation is not a failure: a cancelled fetch
// keeps an empty result, and the work behind it still cleans up (a clipboard
// probe restores the clipboard).
class SelectionFetch : public AsyncOperation
{
    Q_OBJECT

public:
    explicit SelectionFetch(QUuid requestID, QObject *parent = nullptr);
    ~SelectionFetch() override;

    QUuid requestID() const { return m_requestID; }
    bool wasCancelled() const { return state() == State::cancelled; }
    // The result once finished; empty while running or when cancelled.
    const SelectionResult &result() const { return m_result; }

    // For the producer of the result.
    void finishWithResult(SelectionResult result);
    // Shared with the worker; set when the fetch is cancelled.
    CancellationFlag cancellationFlag() const { return m_cancellation; }
    // Called once on cancel() while running, after the flag is set.
    void setCancelHandler(std::function<void()> handler);

private:
    QUuid m_requestID;
    SelectionResult m_result;
    CancellationFlag m_cancellation;
};
