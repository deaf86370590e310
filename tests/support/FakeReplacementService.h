#pragma once

#include "core/desktop/ReplacementService.h"

#include <QList>
#include <QPointer>

// A replacement service that records what it was asked to write and answers
// with a chosen outcome (dispatched by default). With autoFinish off the
// operations stay running until finishCall().
class FakeReplacementService : public ReplacementService
{
public:
    struct Call
    {
        SelectionContext context;
        QString text;
        QPointer<ReplacementOperation> operation;
    };

    ReplacementOperation *replaceSelection(const SelectionContext &context, const QString &text,
                                           QObject *parent) override;

    // A failure may carry the reason the user is shown.
    void setDispatches(bool dispatches, const QString &failureMessage = {})
    {
        m_dispatches = dispatches;
        m_failureMessage = failureMessage;
    }
    void setAutoFinish(bool autoFinish) { m_autoFinish = autoFinish; }
    const QList<Call> &calls() const { return m_calls; }
    bool finishCall(int index, bool dispatched, const QString &failureMessage = {});

private:
    bool m_dispatches = true;
    QString m_failureMessage;
    bool m_autoFinish = true;
    QList<Call> m_calls;
};
