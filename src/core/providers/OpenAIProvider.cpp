#include "core/providers/OpenAIProvider.h"

OpenAIProvider::OpenAIProvider()
    : AIProvider(QStringLiteral("openai"), QStringLiteral("OpenAI"), QStringLiteral("openai_api_key"),
                 QStringLiteral("openai_model"), AIRequestTimeoutRetryPolicy::providerManagedSingleHedge)
{
}

AIReply *OpenAIProvider::sendRequest(AIClient &, const AIRequestContext &, AIPartialResponseHandler) const
{
    return AIReply::failed(AIClientError::requestFailed(
        501, QStringLiteral("Requests to %1 are not available yet.").arg(displayName())));
}
