#include "core/providers/OpenAIChatAdapter.h"

#include "core/ai/AIClient.h"
#include "core/ai/AIRequestSupport.h"
#include "core/providers/OpenAIChatResponseBody.h"
#include "core/providers/OpenAIChatStreamChunk.h"
#include "core/providers/ProviderWire.h"

OpenAIChatAdapter::OpenAIChatAdapter(QString providerID, const QString &endpoint,
                                     QList<Header> extraHeaders, AIRequestOptions options,
                                     std::optional<QByteArray> idempotencyKeyHeader)
    : m_providerID(std::move(providerID))
    , m_endpoint(ProviderWire::parseEndpoint(endpoint).value_or(QUrl()))
    , m_extraHeaders(std::move(extraHeaders))
    , m_requestOptions(std::move(options))
    , m_idempotencyKeyHeader(std::move(idempotencyKeyHeader))
{
}

AIReply *OpenAIChatAdapter::send(AIClient &client, const AIRequestContext &context,
                                 AIPartialResponseHandler onPartialResponse) const
{
    return send(client, context, std::move(onPartialResponse), requestOptions());
}

AIReply *OpenAIChatAdapter::send(AIClient &client, const AIRequestContext &context,
                                 AIPartialResponseHandler onPartialResponse,
                                 const AIRequestOptions &options) const
{
    if (!ProviderWire::isSendableHeaderValue(context.apiKey))
        return ProviderWire::unsendableKey(m_providerID);
    const bool stream = static_cast<bool>(onPartialResponse);
    // Built once: a replay or a hedged attempt sends this same request, so
    // the idempotency key is the same on every attempt.
    const auto request = httpRequest(context, stream);
    if (!request)
        return ProviderWire::noEndpoint(m_providerID);
    if (stream) {
        return client.performStreamingRequest(*request, options, std::move(onPartialResponse),
                                              &OpenAIChatAdapter::decodeStreamChunk);
    }
    return client.performRequest(*request, options, &OpenAIChatAdapter::decodeResponse);
}

OpenAIChatRequestBody OpenAIChatAdapter::requestBody(const AIRequestContext &context, bool stream)
{
    const AIRequestSupport::Prompt prompt = AIRequestSupport::buildPrompt(context);

    OpenAIChatRequestBody body;
    body.model = context.model;
    body.stream = stream;
    body.messages = {{QStringLiteral("system"), prompt.system}};
    for (const AIRequestSupport::PromptMessage &message : prompt.messages) {
        body.messages.append(
            {message.fromUser ? QStringLiteral("user") : QStringLiteral("assistant"),
             message.text});
    }
    if (context.imageData) {
        using ContentPart = OpenAIChatRequestBody::ContentPart;
        const QString imageURL = QStringLiteral("data:image/png;base64,") +
                                 QString::fromLatin1(context.imageData->toBase64());
        body.messages[1].content =
            QList<ContentPart>{ContentPart::textPart(prompt.messages.first().text),
                               ContentPart::imageURLPart(imageURL)};
    }
    return body;
}

std::optional<AIHttpRequest> OpenAIChatAdapter::httpRequest(const AIRequestContext &context,
                                                            bool stream) const
{
    const QUrl endpoint = context.endpoint.isEmpty() ? m_endpoint : context.endpoint;
    if (endpoint.isEmpty())
        return std::nullopt;

    AIHttpRequest http;
    http.request = ProviderWire::postRequest(endpoint);
    // In this order: a later header of the same name replaces an earlier one.
    if (!context.apiKey.isEmpty())
        ProviderWire::setBearerAuthorization(http.request, context.apiKey);
    http.request.setRawHeader("Content-Type", "application/json");
    for (const auto &[name, value] : m_extraHeaders)
        http.request.setRawHeader(name, value);
    if (m_idempotencyKeyHeader)
        http.request.setRawHeader(*m_idempotencyKeyHeader,
                                  context.requestID.toByteArray(QUuid::WithoutBraces));
    http.method = QByteArrayLiteral("POST");
    http.body = requestBody(context, stream).encoded();
    http.secrets = {context.apiKey};
    http.streamEndsWithEvent = stream; // "[DONE]"
    return http;
}

AIDecodeResult OpenAIChatAdapter::decodeStreamChunk(QByteArrayView payload)
{
    auto text = OpenAIChatStreamChunk::decodeText(payload);
    if (!text)
        return AIDecodeResult::undecodable();
    return AIDecodeResult::ofText(std::move(*text));
}

AIDecodeResult OpenAIChatAdapter::decodeResponse(const QByteArray &body)
{
    const auto response = OpenAIChatResponseBody::decode(body);
    if (!response)
        return AIDecodeResult::undecodable();
    // An answer without text would replace the user's selection with
    // nothing, so it fails like an empty stream does.
    if (response->choices.isEmpty() ||
        response->choices.first().message.content.trimmed().isEmpty())
        return AIDecodeResult::failure(AIClientError::emptyResponse());
    return AIDecodeResult::ofText(response->choices.first().message.content);
}
