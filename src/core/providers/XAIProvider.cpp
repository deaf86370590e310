#include "core/providers/XAIProvider.h"

#include "core/providers/ProviderWire.h"

XAIProvider::XAIProvider()
    : AIProvider(QStringLiteral("xai"), QStringLiteral("xAI"), QStringLiteral("xai_api_key"),
                 AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *XAIProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                  AIPartialResponseHandler onPartialResponse) const
{
    return chatAdapter().send(client, context, std::move(onPartialResponse));
}

OpenAIChatAdapter XAIProvider::chatAdapter() const
{
    return OpenAIChatAdapter(id(), ProviderWire::catalogEndpoint(id()), {},
                             requestTimeoutRetryPolicy(), std::nullopt);
}
