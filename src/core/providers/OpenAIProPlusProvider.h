#pragma once

#include "core/providers/AIProvider.h"

class OpenAIProPlusProvider : public AIProvider
{
public:
    OpenAIProPlusProvider();

    QString defaultModel() const override { return QStringLiteral("gpt-5.4"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::oauth;
    }

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;
};
