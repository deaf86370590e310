#include "core/ai/AIClient.h"

#include "core/ai/AIRequestAttempt.h"
#include "core/ai/AIRequestRunner.h"
#include "core/support/Logging.h"
#include "core/support/MonotonicClock.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>

namespace {

constexpr double sessionIdleTimeoutSeconds = 60;

// One line per request outcome, for diagnosis: no URL, header or body.
void logOutcome(const AIReply &reply, const QString &providerID, int attempts, qint64 elapsedMs)
{
    const QString trace = QStringLiteral("provider=%1 attempts=%2 elapsedMs=%3")
                              .arg(providerID)
                              .arg(attempts)
                              .arg(elapsedMs);
    switch (reply.state()) {
    case AIReply::State::succeeded:
        qCInfo(lcAi).noquote() << QStringLiteral("LLM request succeeded for ") + trace + u'.';
        break;
    case AIReply::State::failed:
        qCWarning(lcAi).noquote() << QStringLiteral("LLM request failed for ") + trace +
                                         QStringLiteral(": ") + reply.error()->errorDescription();
        break;
    case AIReply::State::cancelled:
        qCInfo(lcAi).noquote() << QStringLiteral("LLM request cancelled for ") + trace + u'.';
        break;
    case AIReply::State::running:
        break;
    }
}

AIReply *startRequest(const AIHttpRequest &request, const AIRequestOptions &options,
                      const AIAttemptFactory &makeAttempt)
{
    auto *reply = new AIReply();
    AIRequestRunner *runner = nullptr;
    if (isHedgePolicy(options.timeoutRetryPolicy))
        runner = new AIHedgedRequestRunner(request, options, makeAttempt, reply);
    else
        runner = new AITimeoutReplayRunner(request, options, makeAttempt, reply);

    const MonotonicStopwatch stopwatch;
    QObject::connect(reply, &AIReply::finished, reply, [reply, runner, stopwatch, options] {
        logOutcome(*reply, options.providerID, runner->attemptCount(),
                   stopwatch.elapsedMilliseconds());
    });
    reply->setCancelHandler([runner] { runner->cancel(); });
    runner->start([reply, secrets = request.secrets](const AIRequestAttempt::Outcome &outcome) {
        if (outcome.text)
            reply->finishWithText(*outcome.text);
        else
            reply->finishWithError(outcome.error->redacted(secrets));
    });
    return reply;
}

} // namespace

AIClient::AIClient(QObject *parent)
    : QObject(parent)
    , m_session(new QNetworkAccessManager(this))
{
    m_session->setTransferTimeout(secondsToMilliseconds(sessionIdleTimeoutSeconds));
}

AIClient::~AIClient() = default;

AIReply *AIClient::performRequest(const AIHttpRequest &request, const AIRequestOptions &options,
                                  AIDecodeFunction decode)
{
    return startRequest(request, options,
                        [this, decode = std::move(decode)](const AIHttpRequest &attemptRequest,
                                                           std::function<bool()> onResponseStart,
                                                           QObject *parent) -> AIRequestAttempt * {
                            return track(new AIWholeResponseAttempt(m_session, attemptRequest,
                                                                    std::move(onResponseStart),
                                                                    decode, parent));
                        });
}

AIReply *AIClient::performStreamingRequest(const AIHttpRequest &request,
                                           const AIRequestOptions &options,
                                           AIPartialResponseHandler onPartialResponse,
                                           AIDecodeChunkFunction decodeChunk)
{
    return startRequest(
        request, options,
        [this, onPartialResponse = std::move(onPartialResponse),
         decodeChunk = std::move(decodeChunk)](const AIHttpRequest &attemptRequest,
                                               std::function<bool()> onResponseStart,
                                               QObject *parent) -> AIRequestAttempt * {
            return track(new AIStreamingResponseAttempt(m_session, attemptRequest,
                                                        std::move(onResponseStart),
                                                        onPartialResponse, decodeChunk, parent));
        });
}

void AIClient::warmUp(const QUrl &origin)
{
    const QString scheme = origin.scheme();
    if (scheme == QLatin1String("https")) {
        // Offered as a request would offer it, so the connection speaks the
        // protocol (HTTP/2 where the server has it) the requests then use.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setAllowedNextProtocols(
            {QSslConfiguration::ALPNProtocolHTTP2, QSslConfiguration::NextProtocolHttp1_1});
        m_session->connectToHostEncrypted(origin.host(), quint16(origin.port(443)), tls);
    } else if (scheme == QLatin1String("http"))
        m_session->connectToHost(origin.host(), quint16(origin.port(80)));
}

AIRequestAttempt *AIClient::track(AIRequestAttempt *attempt)
{
    m_attempts.removeIf([](const QPointer<AIRequestAttempt> &known) { return known.isNull(); });
    m_attempts.append(attempt);
    return attempt;
}

void AIClient::dropKeptConnections()
{
    qCInfo(lcAi).noquote() << QStringLiteral("LLM connections kept for later requests dropped.");
    m_session->clearConnectionCache();
}

void AIClient::dropAllConnections(const QString &reason)
{
    const AIClientError cause =
        AIClientError::network(QNetworkReply::NetworkSessionFailedError, reason);
    // Each ending may end others (a hedged request's partner): a copy of
    // guarded pointers is walked.
    const QList<QPointer<AIRequestAttempt>> attempts = std::exchange(m_attempts, {});
    for (const QPointer<AIRequestAttempt> &attempt : attempts) {
        if (attempt)
            attempt->loseConnection(cause);
    }
    dropKeptConnections();
}
