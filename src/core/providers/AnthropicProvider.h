#pragma once

#include "core/providers/AIProvider.h"

class AnthropicProvider : public AIProvider
{
public:
    AnthropicProvider();

    QString defaultModel() const override { return QStringLiteral("claude-haiku-4-5"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;
};
