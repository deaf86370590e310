#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIRequestOptions.h"
#include "core/providers/GeminiRequestBody.h"
#include "core/providers/WholeAnswerProvider.h"

#include <QUrl>
#include <optional>

// Google's Gemini content generation. The model is part of the URL, the key
// travels as the query item "key" (so a logged URL must drop its query), and
// the system prompt is joined in front of the user prompt.
class GoogleProvider : public WholeAnswerProvider
{
public:
    GoogleProvider();

    QString defaultModel() const override { return QStringLiteral("gemini-2.5-flash-lite"); }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }

    AIReply *send(AIClient &client, const AIRequestContext &context,
                  const AIRequestOptions &options) const override;

    static GeminiRequestBody requestBody(const AIRequestContext &context);
    // The catalog endpoint with "{model}" replaced and the key as the only
    // query item; nothing when that does not form an http(s) URL.
    std::optional<QUrl> requestURL(const AIRequestContext &context) const;
    std::optional<AIHttpRequest> httpRequest(const AIRequestContext &context) const;
    // The texts of the first candidate's parts; emptyResponse when there is none.
    static AIDecodeResult decodeResponse(const QByteArray &body);
};
