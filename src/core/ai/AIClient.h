#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIReply.h"
#include "core/ai/AIRequestOptions.h"

#include <QObject>
#include <functional>
#include <optional>
#include <utility>

class AIRequestAttempt;
class QNetworkAccessManager;

// Runs the HTTP requests that the provider families build and turns their
// answers into one reply text: whole bodies or server-sent-event streams,
// error bodies turned into messages, and the time-out policies (one replay
// after a time-out, or a hedged second attempt when the first stays silent).
// One instance per process, used on the main thread.
class AIClient : public QObject
{
    Q_OBJECT

public:
    using DecodeFunction = std::function<AIDecodeResult(const QByteArray &body)>;
    using DecodeChunkFunction = std::function<AIDecodeResult(const QByteArray &eventPayload)>;

    explicit AIClient(QObject *parent = nullptr);
    ~AIClient() override;

    // The HTTP session all requests use; its default idle time-out is 60 s.
    QNetworkAccessManager *session() const { return m_session; }

    // A whole (non-streamed) answer.
    AIReply *performRequest(const AIHttpRequest &request, const AIRequestOptions &options,
                            DecodeFunction decode);

    // A server-sent-event stream; `onPartialResponse` (may be empty) receives
    // the whole text so far after every non-empty piece, from the attempt that
    // owns the stream only. A stream that breaks after text arrived fails with
    // AIClientError::streamInterrupted carrying that text.
    AIReply *performStreamingRequest(const AIHttpRequest &request, const AIRequestOptions &options,
                                     AIPartialResponseHandler onPartialResponse,
                                     DecodeChunkFunction decodeChunk);

    // (system prompt, user prompt) for an instruction and optional selection.
    static std::pair<QString, QString> buildPrompts(const QString &instruction,
                                                    const std::optional<QString> &selectedText);

    // The message of an error body: error.message, message, error (a string),
    // error.error.message, else the trimmed UTF-8 text; nothing when empty.
    static std::optional<QString> parseErrorMessage(const QByteArray &body);

    // Whether the failure is an attempt's idle time-out.
    static bool shouldRetryAfterTimeout(const AIClientError &error);
    // A time-out becomes requestFailed(408, "The request timed out.");
    // everything else is returned unchanged.
    static AIClientError normalizeRequestError(const AIClientError &error);

private:
    using AttemptFactory =
        std::function<AIRequestAttempt *(const AIHttpRequest &, std::function<bool()>, QObject *)>;
    AIReply *run(const AIHttpRequest &request, const AIRequestOptions &options,
                 const AttemptFactory &makeAttempt);

    QNetworkAccessManager *m_session;
};
