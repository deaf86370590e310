#include "core/providers/OpenAIProPlusProvider.h"

#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/OpenAIProPlusResponsesAdapter.h"
#include "core/providers/ProviderWire.h"

OpenAIProPlusProvider::OpenAIProPlusProvider(OpenAIProPlusAuthManager &authManager)
    : AIProvider(QStringLiteral("openai-pro-plus"), QStringLiteral("OpenAI Pro/Plus"),
                 QStringLiteral("openai_pro_plus_oauth_session"),
                 AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
    , m_authManager(authManager)
{
}

ProviderAccount *OpenAIProPlusProvider::account() const
{
    return &m_authManager;
}

AIReply *OpenAIProPlusProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                            AIPartialResponseHandler onPartialResponse) const
{
    const OpenAIProPlusResponsesAdapter adapter(id(), ProviderWire::catalogEndpoint(id()),
                                                requestTimeoutRetryPolicy(), m_authManager);
    return adapter.send(client, context, std::move(onPartialResponse));
}
