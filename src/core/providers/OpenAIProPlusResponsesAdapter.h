#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIReply.h"
#include "core/ai/AIRequestContext.h"
#include "core/ai/AIRequestOptions.h"
#include "core/ai/AIRequestTimeoutRetryPolicy.h"
#include "core/providers/OpenAIResponsesRequestBody.h"

#include <QString>
#include <QUrl>
#include <optional>

class AIClient;
class OpenAIProPlusAuthManager;
struct OpenAIProPlusAuthSession;

// The "responses" wire format of the subscription account: obtains a valid
// session from the sign-in manager (refreshing it when due), builds the
// streamed request with the account's tokens, runs it through the AI client
// and decodes each event. The provider builds one per request.
class OpenAIProPlusResponsesAdapter
{
public:
    // `endpoint` is the catalog's text; a text that is not an http(s) URL
    // makes every request fail with invalidResponse without being sent.
    OpenAIProPlusResponsesAdapter(QString providerID, const QString &endpoint,
                                  AIRequestTimeoutRetryPolicy timeoutRetryPolicy,
                                  OpenAIProPlusAuthManager &authManager);

    QString providerID() const { return m_providerID; }
    QUrl endpoint() const { return m_endpoint; }

    // 60 s for each attempt, hedge after 20 s, the provider's policy.
    AIRequestOptions requestOptions() const;

    // Always streams, whether or not `onPartialResponse` is set. Sign-in
    // failures end the reply as AIClientError::other with their description;
    // cancelling the reply stops the refresh or the request, whichever runs.
    AIReply *send(AIClient &client, const AIRequestContext &context,
                  AIPartialResponseHandler onPartialResponse) const;
    // The same with other options (tests use short intervals).
    AIReply *send(AIClient &client, const AIRequestContext &context,
                  AIPartialResponseHandler onPartialResponse,
                  const AIRequestOptions &options) const;

    static OpenAIResponsesRequestBody requestBody(const AIRequestContext &context);
    // The request both attempts of a hedged request send; nothing when the
    // endpoint is not usable.
    std::optional<AIHttpRequest> httpRequest(const AIRequestContext &context,
                                             const OpenAIProPlusAuthSession &session) const;

    // A text delta gives its text, an "error" event fails the request with
    // requestFailed(200, its message), every other event gives no text.
    static AIDecodeResult decodeStreamChunk(QByteArrayView payload);

private:
    void sendWithSession(AIReply *reply, AIClient &client, const AIRequestContext &context,
                         const OpenAIProPlusAuthSession &session,
                         AIPartialResponseHandler onPartialResponse,
                         const AIRequestOptions &options) const;

    QString m_providerID;
    QUrl m_endpoint;
    AIRequestTimeoutRetryPolicy m_timeoutRetryPolicy;
    OpenAIProPlusAuthManager *m_authManager;
};
