#include "core/ai/AIClient.h"

#include "core/ai/AIRequestAttempt.h"
#include "core/ai/AIRequestRunner.h"
#include "core/support/FileLogger.h"
#include "core/support/MonotonicClock.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

namespace {

constexpr double sessionIdleTimeoutSeconds = 60;

std::optional<QString> nonEmptyString(const QJsonValue &value)
{
    if (value.isString() && !value.toString().isEmpty())
        return value.toString();
    return std::nullopt;
}

// One line per request outcome, for diagnosis: no URL, header or body.
void logOutcome(const AIReply &reply, const QString &providerID, int attempts, qint64 elapsedMs)
{
    const QString trace = QStringLiteral("provider=%1 attempts=%2 elapsedMs=%3")
                              .arg(providerID)
                              .arg(attempts)
                              .arg(elapsedMs);
    switch (reply.state()) {
    case AIReply::State::succeeded:
        FileLogger::shared().info(QStringLiteral("LLM request succeeded for ") + trace + u'.');
        break;
    case AIReply::State::failed:
        FileLogger::shared().error(QStringLiteral("LLM request failed for ") + trace +
                                   QStringLiteral(": ") + reply.error()->errorDescription());
        break;
    case AIReply::State::cancelled:
        FileLogger::shared().info(QStringLiteral("LLM request cancelled for ") + trace + u'.');
        break;
    case AIReply::State::running:
        break;
    }
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
                                  DecodeFunction decode)
{
    return run(request, options,
               [session = m_session, decode = std::move(decode)](
                   const AIHttpRequest &attemptRequest, std::function<bool()> onResponseStart,
                   QObject *parent) -> AIRequestAttempt * {
                   return new AIWholeResponseAttempt(session, attemptRequest,
                                                     std::move(onResponseStart), decode, parent);
               });
}

AIReply *AIClient::performStreamingRequest(const AIHttpRequest &request,
                                           const AIRequestOptions &options,
                                           AIPartialResponseHandler onPartialResponse,
                                           DecodeChunkFunction decodeChunk)
{
    return run(request, options,
               [session = m_session, onPartialResponse = std::move(onPartialResponse),
                decodeChunk = std::move(decodeChunk)](const AIHttpRequest &attemptRequest,
                                                      std::function<bool()> onResponseStart,
                                                      QObject *parent) -> AIRequestAttempt * {
                   return new AIStreamingResponseAttempt(session, attemptRequest,
                                                         std::move(onResponseStart),
                                                         onPartialResponse, decodeChunk, parent);
               });
}

AIReply *AIClient::run(const AIHttpRequest &request, const AIRequestOptions &options,
                       const AttemptFactory &makeAttempt)
{
    auto *reply = new AIReply();
    AIRequestRunner *runner = nullptr;
    if (isHedgePolicy(options.timeoutRetryPolicy))
        runner = new AIHedgedRequestRunner(request, options, makeAttempt, reply);
    else
        runner = new AITimeoutReplayRunner(request, options, makeAttempt, reply);

    const MonotonicStopwatch stopwatch;
    connect(reply, &AIReply::finished, reply, [reply, runner, stopwatch, options] {
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

std::pair<QString, QString> AIClient::buildPrompts(const QString &instruction,
                                                   const std::optional<QString> &selectedText)
{
    if (selectedText && !selectedText->isEmpty()) {
        return {
            QStringLiteral("You edit text. Return only the replacement text, with no commentary."),
            QStringLiteral("Selected text:\n") + *selectedText +
                QStringLiteral("\n\nInstruction:\n") + instruction +
                QStringLiteral("\n\nReturn only the updated text.")};
    }
    return {QStringLiteral("You are a helpful assistant."), instruction};
}

std::optional<QString> AIClient::parseErrorMessage(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isObject()) {
        const QJsonObject object = document.object();
        const QJsonValue error = object.value(QStringLiteral("error"));
        const QJsonObject errorObject = error.toObject();
        for (const QJsonValue &candidate : {errorObject.value(QStringLiteral("message")),
                                            object.value(QStringLiteral("message")), error,
                                            errorObject.value(QStringLiteral("error"))
                                                .toObject()
                                                .value(QStringLiteral("message"))}) {
            if (auto message = nonEmptyString(candidate))
                return message;
        }
    }
    if (!body.isValidUtf8())
        return std::nullopt;
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

bool AIClient::shouldRetryAfterTimeout(const AIClientError &error)
{
    return error.isTimedOut();
}

AIClientError AIClient::normalizeRequestError(const AIClientError &error)
{
    if (shouldRetryAfterTimeout(error))
        return AIClientError::requestFailed(408, QStringLiteral("The request timed out."));
    return error;
}
