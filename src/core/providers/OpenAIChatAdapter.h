#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIReply.h"
#include "core/ai/AIRequestContext.h"
#include "core/ai/AIRequestOptions.h"
#include "core/ai/AIRequestTimeoutRetryPolicy.h"
#include "core/providers/OpenAIChatRequestBody.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

class AIClient;

// The chat-completions wire format that OpenAI, OpenRouter and xAI share:
// builds the HTTP request for a context, runs it through the AI client as a
// stream (when the caller wants partial text) or as a whole answer, and
// decodes the answer. The providers build one per request from their fields.
class OpenAIChatAdapter
{
public:
    using Header = std::pair<QByteArray, QByteArray>;

    // `endpoint` is the catalog's text; a text that is not an http(s) URL
    // makes every request fail with invalidResponse without being sent.
    OpenAIChatAdapter(QString providerID, const QString &endpoint, QList<Header> extraHeaders,
                      AIRequestOptions options,
                      std::optional<QByteArray> idempotencyKeyHeader = std::nullopt);

    QString providerID() const { return m_providerID; }
    // Empty when the catalog's text is not a usable URL.
    QUrl endpoint() const { return m_endpoint; }
    const QList<Header> &extraHeaders() const { return m_extraHeaders; }
    AIRequestTimeoutRetryPolicy timeoutRetryPolicy() const
    {
        return m_requestOptions.timeoutRetryPolicy;
    }
    const std::optional<QByteArray> &idempotencyKeyHeader() const { return m_idempotencyKeyHeader; }

    // The provider's time-outs and policy.
    AIRequestOptions requestOptions() const { return m_requestOptions; }

    // Streams when `onPartialResponse` is set, else asks for a whole answer.
    AIReply *send(AIClient &client, const AIRequestContext &context,
                  AIPartialResponseHandler onPartialResponse) const;
    // The same with other options (tests use short intervals).
    AIReply *send(AIClient &client, const AIRequestContext &context,
                  AIPartialResponseHandler onPartialResponse,
                  const AIRequestOptions &options) const;

    static OpenAIChatRequestBody requestBody(const AIRequestContext &context, bool stream);
    // The request every attempt of one submission sends, to the context's
    // endpoint when it has one (a server the user chose), else to the
    // catalog's; nothing when that is not usable. Without a key (a local
    // server that needs none) no Authorization header is sent.
    std::optional<AIHttpRequest> httpRequest(const AIRequestContext &context, bool stream) const;

    // The text piece of one streamed event; undecodable (skipped by the
    // stream reader) for events without choices or with content of an
    // unsupported format.
    static AIDecodeResult decodeStreamChunk(QByteArrayView payload);
    // The first choice's content; emptyResponse without choices or text.
    static AIDecodeResult decodeResponse(const QByteArray &body);

private:
    QString m_providerID;
    QUrl m_endpoint;
    QList<Header> m_extraHeaders;
    AIRequestOptions m_requestOptions;
    std::optional<QByteArray> m_idempotencyKeyHeader;
};
