#include "core/providers/GoogleProvider.h"

GoogleProvider::GoogleProvider()
    : AIProvider(QStringLiteral("google"), QStringLiteral("Google"), QStringLiteral("google_api_key"),
                 QStringLiteral("google_model"), AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *GoogleProvider::sendRequest(AIClient &, const AIRequestContext &, AIPartialResponseHandler) const
{
    return AIReply::failed(AIClientError::requestFailed(
        501, QStringLiteral("Requests to %1 are not available yet.").arg(displayName())));
}
