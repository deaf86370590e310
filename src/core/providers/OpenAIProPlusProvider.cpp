#include "core/providers/OpenAIProPlusProvider.h"

#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/OpenAIProPlusResponsesAdapter.h"
#include "core/providers/ProviderWire.h"

OpenAIProPlusProvider::OpenAIProPlusProvider(OpenAIProPlusAuthManager *authManager)
    : AIProvider(QStringLiteral("openai-pro-plus"), QStringLiteral("OpenAI Pro/Plus"),
                 QStringLiteral("openai_pro_plus_oauth_session"),
                 AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
    , m_authManager(authManager)
{
}

ProviderAccount *OpenAIProPlusProvider::account() const
{
    return m_authManager ? m_authManager : &OpenAIProPlusAuthManager::shared();
}

AIReply *OpenAIProPlusProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                            AIPartialResponseHandler onPartialResponse) const
{
    OpenAIProPlusAuthManager &manager =
        m_authManager ? *m_authManager : OpenAIProPlusAuthManager::shared();
    const OpenAIProPlusResponsesAdapter adapter(id(), ProviderWire::catalogEndpoint(id()),
                                                requestTimeoutRetryPolicy(), manager);
    return adapter.send(client, context, std::move(onPartialResponse));
}
