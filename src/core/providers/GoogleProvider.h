#pragma once

#include "core/providers/AIProvider.h"

class GoogleProvider : public AIProvider
{
public:
    GoogleProvider();

    QString defaultModel() const override { return QStringLiteral("gemini-2.5-flash-lite"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;
};
