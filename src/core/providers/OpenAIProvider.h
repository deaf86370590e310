#pragma once

#include "core/providers/AIProvider.h"

class OpenAIProvider : public AIProvider
{
public:
    OpenAIProvider();

    QString defaultModel() const override { return QStringLiteral("gpt-5-mini"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;
};
