#include "core/providers/AnthropicProvider.h"

#include "core/ai/AIClient.h"
#include "core/ai/AIRequestSupport.h"
#include "core/providers/AnthropicResponseBody.h"
#include "core/providers/ProviderWire.h"

namespace {
constexpr int maxTokens = 1024;
const QByteArray anthropicVersion = QByteArrayLiteral("2023-06-01");
} // namespace

AnthropicProvider::AnthropicProvider()
    : WholeAnswerProvider(QStringLiteral("anthropic"), QStringLiteral("Anthropic"),
                          QStringLiteral("anthropic_api_key"),
                          AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *AnthropicProvider::send(AIClient &client, const AIRequestContext &context,
                                 const AIRequestOptions &options) const
{
    if (!ProviderWire::isSendableHeaderValue(context.apiKey))
        return ProviderWire::unsendableKey(id());
    const auto request = httpRequest(context);
    if (!request)
        return ProviderWire::noEndpoint(id());
    return client.performRequest(*request, options, &AnthropicProvider::decodeResponse);
}

AnthropicRequestBody AnthropicProvider::requestBody(const AIRequestContext &context)
{
    const AIRequestSupport::Prompt prompt = AIRequestSupport::buildPrompt(context);

    using ContentBlock = AnthropicRequestBody::ContentBlock;
    AnthropicRequestBody body;
    body.model = context.model;
    body.maxTokens = maxTokens;
    body.system = prompt.system;
    for (const AIRequestSupport::PromptMessage &message : prompt.messages) {
        body.messages.append(
            {message.fromUser ? QStringLiteral("user") : QStringLiteral("assistant"),
             {ContentBlock::textBlock(message.text)}});
    }
    if (context.imageData)
        body.messages.first().content.append(ContentBlock::pngImageBlock(*context.imageData));
    return body;
}

std::optional<AIHttpRequest> AnthropicProvider::httpRequest(const AIRequestContext &context) const
{
    const auto endpoint = ProviderWire::parseEndpoint(ProviderWire::catalogEndpoint(id()));
    if (!endpoint)
        return std::nullopt;

    AIHttpRequest http;
    http.request = ProviderWire::postRequest(*endpoint);
    http.request.setRawHeader("x-api-key", context.apiKey.toUtf8());
    http.request.setRawHeader("Content-Type", "application/json");
    http.request.setRawHeader("anthropic-version", anthropicVersion);
    http.method = QByteArrayLiteral("POST");
    http.body = requestBody(context).encoded();
    http.secrets = {context.apiKey};
    return http;
}

AIDecodeResult AnthropicProvider::decodeResponse(const QByteArray &body)
{
    const auto response = AnthropicResponseBody::decode(body);
    return answer(response ? std::optional(response->text()) : std::nullopt);
}
