#include "core/providers/OpenRouterProvider.h"

OpenRouterProvider::OpenRouterProvider()
    : AIProvider(QStringLiteral("openrouter"), QStringLiteral("OpenRouter"), QStringLiteral("openrouter_api_key"),
                 QStringLiteral("openrouter_model"), AIRequestTimeoutRetryPolicy::unsafeSingleHedge, {QStringLiteral("openrouter_api_key")})
{
}

AIReply *OpenRouterProvider::sendRequest(AIClient &, const AIRequestContext &, AIPartialResponseHandler) const
{
    return AIReply::failed(AIClientError::requestFailed(
        501, QStringLiteral("Requests to %1 are not available yet.").arg(displayName())));
}
