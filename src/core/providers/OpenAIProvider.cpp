#include "core/providers/OpenAIProvider.h"

#include "core/providers/ProviderWire.h"

OpenAIProvider::OpenAIProvider()
    : AIProvider(QStringLiteral("openai"), QStringLiteral("OpenAI"),
                 QStringLiteral("openai_api_key"),
                 AIRequestTimeoutRetryPolicy::providerManagedSingleHedge)
{
}

AIReply *OpenAIProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                     AIPartialResponseHandler onPartialResponse) const
{
    return chatAdapter().send(client, context, std::move(onPartialResponse));
}

OpenAIChatAdapter OpenAIProvider::chatAdapter() const
{
    return OpenAIChatAdapter(id(), ProviderWire::catalogEndpoint(id()), {},
                             requestTimeoutRetryPolicy(), QByteArrayLiteral("Idempotency-Key"));
}
