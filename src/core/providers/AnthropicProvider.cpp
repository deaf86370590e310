#include "core/providers/AnthropicProvider.h"

AnthropicProvider::AnthropicProvider()
    : AIProvider(QStringLiteral("anthropic"), QStringLiteral("Anthropic"), QStringLiteral("anthropic_api_key"),
                 QStringLiteral("anthropic_model"), AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *AnthropicProvider::sendRequest(AIClient &, const AIRequestContext &, AIPartialResponseHandler) const
{
    return AIReply::failed(AIClientError::requestFailed(
        501, QStringLiteral("Requests to %1 are not available yet.").arg(displayName())));
}
