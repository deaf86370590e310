#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIRequestOptions.h"
#include "core/providers/AnthropicRequestBody.h"
#include "core/providers/WholeAnswerProvider.h"

#include <optional>

// Anthropic's messages interface.
class AnthropicProvider : public WholeAnswerProvider
{
public:
    AnthropicProvider();

    QString defaultModel() const override { return QStringLiteral("claude-haiku-4-5"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }

    AIReply *send(AIClient &client, const AIRequestContext &context,
                  const AIRequestOptions &options) const override;

    static AnthropicRequestBody requestBody(const AIRequestContext &context);
    // Nothing when the catalog has no usable endpoint.
    std::optional<AIHttpRequest> httpRequest(const AIRequestContext &context) const;
    // The texts of all content blocks; emptyResponse when there is none.
    static AIDecodeResult decodeResponse(const QByteArray &body);
};
