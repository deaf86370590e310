#pragma once

#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIRequestAttempt.h"
#include "core/ai/AIRequestOptions.h"
#include "core/ai/ResponseStartTracker.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

// Starts one attempt of a request: `request` already carries the attempt's
// time-out.
using AIAttemptFactory = std::function<AIRequestAttempt *(
    const AIHttpRequest &request, AIRequestAttempt::ResponseStartHandler onResponseStart,
    QObject *parent)>;

// Runs the attempts of one request under its time-out policy and reports one
// outcome, unless cancelled first.
class AIRequestRunner : public QObject
{
public:
    using CompletionHandler = AIRequestAttempt::CompletionHandler;

    virtual void start(CompletionHandler onComplete) = 0;
    // Aborts every transfer; reports nothing afterwards.
    virtual void cancel() = 0;
    int attemptCount() const { return m_attemptCount; }

protected:
    AIRequestRunner(const AIHttpRequest &request, const AIRequestOptions &options,
                    AIAttemptFactory makeAttempt, QObject *parent);

    // The request with an idle time-out of `seconds`.
    AIHttpRequest requestWithTimeout(double seconds) const;
    AIRequestAttempt *startAttempt(double timeoutSeconds,
                                   AIRequestAttempt::ResponseStartHandler onResponseStart,
                                   std::function<void(const AIRequestAttempt::Outcome &)> onEnd);
    void finish(const AIRequestAttempt::Outcome &outcome);

    AIHttpRequest m_request;
    AIRequestOptions m_options;
    CompletionHandler m_onComplete;

private:
    AIAttemptFactory m_makeAttempt;
    int m_attemptCount = 0;
};

// Policies none, unsafeSingleReplay and providerManagedSingleReplay: one
// attempt, and for the replay policies one more after a time-out.
class AITimeoutReplayRunner : public AIRequestRunner
{
public:
    AITimeoutReplayRunner(const AIHttpRequest &request, const AIRequestOptions &options,
                          AIAttemptFactory makeAttempt, QObject *parent);

    void start(CompletionHandler onComplete) override;
    void cancel() override;

private:
    void runAttempt();
    void attemptEnded(const AIRequestAttempt::Outcome &outcome);

    QPointer<AIRequestAttempt> m_attempt;
};

// Policies unsafeSingleHedge and providerManagedSingleHedge: when the primary
// attempt has received nothing after hedgeAfterNoResponseInterval, a second
// identical attempt starts; the first to succeed wins, and the first to
// receive data owns the partial-text stream.
class AIHedgedRequestRunner : public AIRequestRunner
{
public:
    AIHedgedRequestRunner(const AIHttpRequest &request, const AIRequestOptions &options,
                          AIAttemptFactory makeAttempt, QObject *parent);

    void start(CompletionHandler onComplete) override;
    void cancel() override;

private:
    void stopAttempts();
    void hedgeWaitEnded();
    void collect(const HedgedAttemptCompletion &completion);
    static HedgedAttemptCompletion completionOf(const AIRequestAttempt::Outcome &outcome,
                                                HedgedAttemptRole role, bool hedgeLaunched);

    ResponseStartTracker m_tracker;
    QTimer m_hedgeTimer;
    QPointer<AIRequestAttempt> m_primary;
    QPointer<AIRequestAttempt> m_hedge;
    int m_pendingTasks = 2;
    QList<AIClientError> m_failures;
};
