#pragma once

#include "core/desktop/SelectionService.h"

#include <QList>
#include <QPointer>
#include <QQueue>

// A selection service that answers from a script. Each call takes the next
// queued result of its kind, else the kind's default (an empty result).
// With autoFinish off, fetches stay running until finishCall() ends them, so
// a test can order results, let one go stale or cancel it.
class FakeSelectionService : public SelectionService
{
public:
    enum class Kind { fetch, clipboardOnly };

    struct Call
    {
        Kind kind = Kind::fetch;
        SelectionRequest request;
        QPointer<SelectionFetch> fetch;
        SelectionResult plannedResult;
    };

    SelectionFetch *fetchSelection(const SelectionRequest &request, QObject *parent) override;
    SelectionFetch *fetchSelectionViaClipboardOnly(const SelectionRequest &request,
                                                   QObject *parent) override;

    void enqueueResult(Kind kind, SelectionResult result);
    void setDefaultResult(Kind kind, SelectionResult result);
    void setAutoFinish(bool autoFinish) { m_autoFinish = autoFinish; }

    const QList<Call> &calls() const { return m_calls; }
    // Ends a held fetch with its planned result (or `result` when given).
    // False when it already ended or is gone.
    bool finishCall(int index);
    bool finishCall(int index, SelectionResult result);
    // How many fetches their callers cancelled.
    int cancelledCount() const { return m_cancelled; }

private:
    SelectionFetch *start(Kind kind, const SelectionRequest &request, QObject *parent);

    QQueue<SelectionResult> m_queued[2];
    SelectionResult m_defaults[2];
    bool m_autoFinish = true;
    QList<Call> m_calls;
    int m_cancelled = 0;
};
