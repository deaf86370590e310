#include "core/ai/AIRequestRunner.h"

#include "core/ai/AIRequestSupport.h"
#include "core/support/Logging.h"
#include "core/support/MonotonicClock.h"

#include <cmath>

namespace {

QString wholeSeconds(double seconds)
{
    return QString::number(std::llround(seconds));
}

} // namespace

// --- AIRequestRunner ---

AIRequestRunner::AIRequestRunner(const AIHttpRequest &request, const AIRequestOptions &options,
                                 AIAttemptFactory makeAttempt, QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_options(options)
    , m_makeAttempt(std::move(makeAttempt))
{
}

AIHttpRequest AIRequestRunner::requestWithTimeout(double seconds) const
{
    AIHttpRequest request = m_request;
    request.request.setTransferTimeout(secondsToMilliseconds(seconds));
    return request;
}

AIRequestAttempt *
AIRequestRunner::startAttempt(double timeoutSeconds,
                              AIRequestAttempt::ResponseStartHandler onResponseStart,
                              std::function<void(const AIRequestAttempt::Outcome &)> onEnd)
{
    ++m_attemptCount;
    AIRequestAttempt *attempt =
        m_makeAttempt(requestWithTimeout(timeoutSeconds), std::move(onResponseStart), this);
    attempt->start([attempt, onEnd = std::move(onEnd)](const AIRequestAttempt::Outcome &outcome) {
        attempt->deleteLater();
        onEnd(outcome);
    });
    return attempt;
}

void AIRequestRunner::finish(const AIRequestAttempt::Outcome &outcome)
{
    const CompletionHandler handler = std::exchange(m_onComplete, nullptr);
    if (handler)
        handler(outcome);
}

// --- AITimeoutReplayRunner ---

AITimeoutReplayRunner::AITimeoutReplayRunner(const AIHttpRequest &request,
                                             const AIRequestOptions &options,
                                             AIAttemptFactory makeAttempt, QObject *parent)
    : AIRequestRunner(request, options, std::move(makeAttempt), parent)
{
}

void AITimeoutReplayRunner::start(CompletionHandler onComplete)
{
    m_onComplete = std::move(onComplete);
    runAttempt();
}

void AITimeoutReplayRunner::cancel()
{
    m_onComplete = nullptr;
    if (m_attempt)
        m_attempt->abort();
}

void AITimeoutReplayRunner::runAttempt()
{
    m_attempt = startAttempt(
        m_options.timeoutInterval, [] { return true; },
        [this](const AIRequestAttempt::Outcome &outcome) { attemptEnded(outcome); });
}

void AITimeoutReplayRunner::attemptEnded(const AIRequestAttempt::Outcome &outcome)
{
    m_attempt = nullptr;
    if (outcome.text)
        return finish(outcome);
    const AIClientError &error = *outcome.error;
    if (attemptCount() == 1 && AIRequestSupport::shouldRetryAfterTimeout(error) &&
        isReplayPolicy(m_options.timeoutRetryPolicy)) {
        qCInfo(lcAi).noquote() << QStringLiteral("LLM request timed out for provider=%1 attempt=1 "
                                                 "timeout=%2s policy=%3; retrying.")
                                      .arg(m_options.providerID,
                                           wholeSeconds(m_options.timeoutInterval),
                                           logWord(m_options.timeoutRetryPolicy));
        return runAttempt();
    }
    finish({std::nullopt, AIRequestSupport::normalizeRequestError(error)});
}

// --- AIHedgedRequestRunner ---

AIHedgedRequestRunner::AIHedgedRequestRunner(const AIHttpRequest &request,
                                             const AIRequestOptions &options,
                                             AIAttemptFactory makeAttempt, QObject *parent)
    : AIRequestRunner(request, options, std::move(makeAttempt), parent)
{
    m_hedgeTimer.setSingleShot(true);
    m_hedgeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_hedgeTimer, &QTimer::timeout, this, &AIHedgedRequestRunner::hedgeWaitEnded);
}

void AIHedgedRequestRunner::start(CompletionHandler onComplete)
{
    m_onComplete = std::move(onComplete);
    m_primary = startAttempt(
        m_options.timeoutInterval,
        [this] { return m_tracker.responseStarted(HedgedAttemptRole::primary); },
        [this](const AIRequestAttempt::Outcome &outcome) {
            collect(completionOf(outcome, HedgedAttemptRole::primary, m_tracker.hedgeLaunched()));
        });
    m_hedgeTimer.start(secondsToMilliseconds(m_options.hedgeAfterNoResponseInterval));
}

void AIHedgedRequestRunner::cancel()
{
    m_onComplete = nullptr;
    stopAttempts();
}

void AIHedgedRequestRunner::stopAttempts()
{
    m_hedgeTimer.stop();
    if (m_primary)
        m_primary->abort();
    if (m_hedge)
        m_hedge->abort();
}

void AIHedgedRequestRunner::hedgeWaitEnded()
{
    if (!m_tracker.launchHedge())
        return collect(HedgedAttemptCompletion::skipped(HedgedAttemptRole::hedge));
    qCInfo(lcAi).noquote()
        << QStringLiteral("LLM request produced no response bytes for provider=%1 after %2s; "
                          "starting hedged attempt with timeout=%3s policy=%4.")
               .arg(m_options.providerID, wholeSeconds(m_options.hedgeAfterNoResponseInterval),
                    wholeSeconds(m_options.hedgedRequestTimeoutInterval),
                    logWord(m_options.timeoutRetryPolicy));
    m_hedge = startAttempt(
        m_options.hedgedRequestTimeoutInterval,
        [this] { return m_tracker.responseStarted(HedgedAttemptRole::hedge); },
        [this](const AIRequestAttempt::Outcome &outcome) {
            collect(completionOf(outcome, HedgedAttemptRole::hedge, true));
        });
}

HedgedAttemptCompletion
AIHedgedRequestRunner::completionOf(const AIRequestAttempt::Outcome &outcome,
                                    HedgedAttemptRole role, bool hedgeLaunched)
{
    if (outcome.text)
        return HedgedAttemptCompletion::success(*outcome.text, role);
    return HedgedAttemptCompletion::failure(*outcome.error, role, hedgeLaunched);
}

// Completions arrive in the order the attempts end.
void AIHedgedRequestRunner::collect(const HedgedAttemptCompletion &completion)
{
    --m_pendingTasks;
    switch (completion.kind) {
    case HedgedAttemptCompletion::Kind::success:
        stopAttempts(); // the other attempt's outcome is ignored
        return finish({completion.text, std::nullopt});
    case HedgedAttemptCompletion::Kind::failure:
        if (completion.role == HedgedAttemptRole::primary && !completion.hedgeLaunched) {
            stopAttempts(); // the hedge, still waiting, never starts
            return finish({std::nullopt, completion.error});
        }
        m_failures.append(*completion.error);
        break;
    case HedgedAttemptCompletion::Kind::skipped:
        break;
    }
    if (m_pendingTasks > 0)
        return;
    if (!m_failures.isEmpty())
        return finish({std::nullopt, m_failures.first()});
    finish({std::nullopt,
            AIClientError::requestFailed(408, QStringLiteral("The request timed out."))});
}
