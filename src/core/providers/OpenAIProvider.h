#pragma once

#include "core/providers/AIProvider.h"
#include "core/providers/OpenAIChatAdapter.h"

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

    // The chat adapter this provider sends through, built from its fields and
    // the catalog's endpoint.
    OpenAIChatAdapter chatAdapter() const;
};
