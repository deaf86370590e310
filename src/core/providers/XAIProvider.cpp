#include "core/providers/XAIProvider.h"

XAIProvider::XAIProvider()
    : AIProvider(QStringLiteral("xai"), QStringLiteral("xAI"), QStringLiteral("xai_api_key"),
                 QStringLiteral("xai_model"), AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *XAIProvider::sendRequest(AIClient &, const AIRequestContext &, AIPartialResponseHandler) const
{
    return AIReply::failed(AIClientError::requestFailed(
        501, QStringLiteral("Requests to %1 are not available yet.").arg(displayName())));
}
