#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIRequestOptions.h"
#include "core/providers/AIProvider.h"
#include "core/providers/GeminiRequestBody.h"

#include <QUrl>
#include <optional>

// Google's Gemini content generation. The model is part of the URL, the key
// travels as the query item "key" (so a logged URL must drop its query), and
// the system prompt is joined in front of the user prompt. Always asks for a
// whole answer: a partial-response callback is accepted and never called.
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
    // The same with other options (tests use short intervals).
    AIReply *send(AIClient &client, const AIRequestContext &context,
                  const AIRequestOptions &options) const;

    static GeminiRequestBody requestBody(const AIRequestContext &context);
    // The catalog endpoint with "{model}" replaced and the key as the only
    // query item; nothing when that does not form an http(s) URL.
    std::optional<QUrl> requestURL(const AIRequestContext &context) const;
    std::optional<AIHttpRequest> httpRequest(const AIRequestContext &context) const;
    // The texts of the first candidate's parts; emptyResponse when there is none.
    static AIDecodeResult decodeResponse(const QByteArray &body);
};
