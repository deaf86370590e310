#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIRequestOptions.h"
#include "core/providers/AIProvider.h"
#include "core/providers/AnthropicRequestBody.h"

#include <optional>

// Anthropic's messages interface. Always asks for a whole answer, so a
// partial-response callback is accepted and never called.
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
    // The same with other options (tests use short intervals).
    AIReply *send(AIClient &client, const AIRequestContext &context,
                  const AIRequestOptions &options) const;

    static AnthropicRequestBody requestBody(const AIRequestContext &context);
    // Nothing when the catalog has no usable endpoint.
    std::optional<AIHttpRequest> httpRequest(const AIRequestContext &context) const;
    // The texts of all content blocks; emptyResponse when there is none.
    static AIDecodeResult decodeResponse(const QByteArray &body);
};
