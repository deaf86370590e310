#include "core/providers/OpenAIProPlusProvider.h"

OpenAIProPlusProvider::OpenAIProPlusProvider()
    : AIProvider(QStringLiteral("openai-pro-plus"), QStringLiteral("OpenAI Pro/Plus"), QStringLiteral("openai_pro_plus_oauth_session"),
                 QStringLiteral("openai_pro_plus_model"), AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *OpenAIProPlusProvider::sendRequest(AIClient &, const AIRequestContext &, AIPartialResponseHandler) const
{
    return AIReply::failed(AIClientError::requestFailed(
        501, QStringLiteral("Requests to %1 are not available yet.").arg(displayName())));
}
