#pragma once

#include "core/providers/AIProvider.h"

class OpenAIProPlusAuthManager;

// The OpenAI account subscription, signed in through OAuth instead of an API
// key; its requests speak the streamed "responses" format.
class OpenAIProPlusProvider : public AIProvider
{
public:
    explicit OpenAIProPlusProvider(OpenAIProPlusAuthManager &authManager);

    QString defaultModel() const override { return QStringLiteral("gpt-5.4"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::oauth;
    }

    ProviderAccount *account() const override;

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;

private:
    OpenAIProPlusAuthManager &m_authManager;
};
