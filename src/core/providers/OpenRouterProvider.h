#pragma once

#include "core/providers/AIProvider.h"

class OpenRouterProvider : public AIProvider
{
public:
    OpenRouterProvider();

    QString defaultModel() const override { return QStringLiteral("minimax/minimax-m2.5"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;
};
