#include "core/providers/OpenRouterProvider.h"

#include "core/providers/ProviderWire.h"

OpenRouterProvider::OpenRouterProvider()
    : AIProvider(QStringLiteral("openrouter"), QStringLiteral("OpenRouter"),
                 QStringLiteral("openrouter_api_key"),
                 AIRequestTimeoutRetryPolicy::unsafeSingleHedge,
                 {QStringLiteral("openrouter_api_key")})
{
}

AIReply *OpenRouterProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                         AIPartialResponseHandler onPartialResponse) const
{
    return chatAdapter().send(client, context, std::move(onPartialResponse));
}

OpenAIChatAdapter OpenRouterProvider::chatAdapter() const
{
    return OpenAIChatAdapter(
        id(), ProviderWire::catalogEndpoint(id()),
        {{QByteArrayLiteral("HTTP-Referer"), QByteArrayLiteral("com.wrenlark")},
         {QByteArrayLiteral("X-Title"), QByteArrayLiteral("Wrenlark")}},
        requestTimeoutRetryPolicy(), std::nullopt);
}
