#include "core/providers/OpenAIProPlusResponsesAdapter.h"

#include "core/ai/AIClient.h"
#include "core/ai/AIRequestSupport.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/OpenAIProPlusAuthReply.h"
#include "core/providers/OpenAIResponsesStreamChunk.h"
#include "core/providers/ProviderWire.h"

#include <QPointer>

OpenAIProPlusResponsesAdapter::OpenAIProPlusResponsesAdapter(
    QString providerID, const QString &endpoint, AIRequestTimeoutRetryPolicy timeoutRetryPolicy,
    OpenAIProPlusAuthManager &authManager)
    : m_providerID(std::move(providerID))
    , m_endpoint(ProviderWire::parseEndpoint(endpoint).value_or(QUrl()))
    , m_timeoutRetryPolicy(timeoutRetryPolicy)
    , m_authManager(&authManager)
{
}

AIRequestOptions OpenAIProPlusResponsesAdapter::requestOptions() const
{
    return AIRequestOptions::standard(m_providerID, m_timeoutRetryPolicy);
}

AIReply *OpenAIProPlusResponsesAdapter::send(AIClient &client, const AIRequestContext &context,
                                             AIPartialResponseHandler onPartialResponse) const
{
    return send(client, context, std::move(onPartialResponse), requestOptions());
}

AIReply *OpenAIProPlusResponsesAdapter::send(AIClient &client, const AIRequestContext &context,
                                             AIPartialResponseHandler onPartialResponse,
                                             const AIRequestOptions &options) const
{
    auto *reply = new AIReply;
    OpenAIProPlusAuthReply *sessionReply = m_authManager->validSession(reply);
    QPointer<OpenAIProPlusAuthReply> sessionGuard(sessionReply);
    reply->setCancelHandler([sessionGuard] {
        if (sessionGuard)
            sessionGuard->cancel();
    });
    QPointer<AIClient> clientGuard(&client);
    QObject::connect(sessionReply, &OpenAIProPlusAuthReply::finished, reply,
                     [adapter = *this, reply, sessionReply, clientGuard, context,
                      onPartialResponse = std::move(onPartialResponse), options] {
                         sessionReply->deleteLater();
                         switch (sessionReply->state()) {
                         case OpenAIProPlusAuthReply::State::succeeded:
                             if (!clientGuard) {
                                 reply->cancel();
                                 return;
                             }
                             adapter.sendWithSession(reply, *clientGuard, context,
                                                     *sessionReply->session(), onPartialResponse,
                                                     options);
                             break;
                         case OpenAIProPlusAuthReply::State::failed: {
                             const QString description = sessionReply->error()->errorDescription();
                             reply->finishWithError(AIClientError::other(description, description));
                             break;
                         }
                         case OpenAIProPlusAuthReply::State::cancelled:
                         case OpenAIProPlusAuthReply::State::running:
                             break;
                         }
                     });
    return reply;
}

void OpenAIProPlusResponsesAdapter::sendWithSession(AIReply *reply, AIClient &client,
                                                    const AIRequestContext &context,
                                                    const OpenAIProPlusAuthSession &session,
                                                    AIPartialResponseHandler onPartialResponse,
                                                    const AIRequestOptions &options) const
{
    if (!ProviderWire::isSendableHeaderValue(session.accessToken) ||
        !ProviderWire::isSendableHeaderValue(session.accountID.value_or(QString()))) {
        reply->follow(ProviderWire::notSent(
            m_providerID, QStringLiteral("the stored session holds control characters.")));
        return;
    }
    // Built once: both attempts of a hedged request send the same session_id.
    const auto request = httpRequest(context, session);
    if (!request) {
        reply->follow(ProviderWire::noEndpoint(m_providerID));
        return;
    }
    reply->follow(
        client.performStreamingRequest(*request, options, std::move(onPartialResponse),
                                       &OpenAIProPlusResponsesAdapter::decodeStreamChunk));
}

OpenAIResponsesRequestBody
OpenAIProPlusResponsesAdapter::requestBody(const AIRequestContext &context)
{
    const AIRequestSupport::Prompt prompt = AIRequestSupport::buildPrompt(context);
    using ContentPart = OpenAIResponsesRequestBody::ContentPart;
    OpenAIResponsesRequestBody body;
    body.model = context.model;
    body.instructions = prompt.system;
    for (const AIRequestSupport::PromptMessage &message : prompt.messages) {
        body.input.append({message.fromUser ? QStringLiteral("user") : QStringLiteral("assistant"),
                           {message.fromUser ? ContentPart::inputText(message.text)
                                             : ContentPart::outputText(message.text)}});
    }
    if (context.imageData) {
        body.input.first().content.append(
            ContentPart::inputImage(QStringLiteral("data:image/png;base64,") +
                                    QString::fromLatin1(context.imageData->toBase64())));
    }
    return body;
}

std::optional<AIHttpRequest>
OpenAIProPlusResponsesAdapter::httpRequest(const AIRequestContext &context,
                                           const OpenAIProPlusAuthSession &session) const
{
    if (m_endpoint.isEmpty())
        return std::nullopt;
    AIHttpRequest http;
    http.request = ProviderWire::postRequest(m_endpoint);
    ProviderWire::setBearerAuthorization(http.request, session.accessToken);
    http.request.setRawHeader("Content-Type", "application/json");
    http.request.setRawHeader("originator", m_authManager->originator().toUtf8());
    http.request.setRawHeader("User-Agent", "Wrenlark/1");
    http.request.setRawHeader("session_id", context.requestID.toByteArray(QUuid::WithoutBraces));
    if (session.accountID && !session.accountID->isEmpty())
        http.request.setRawHeader("ChatGPT-Account-Id", session.accountID->toUtf8());
    http.method = QByteArrayLiteral("POST");
    http.body = requestBody(context).encoded();
    http.secrets = {session.accessToken};
    http.streamEndsWithEvent = true; // "response.completed"
    return http;
}

AIDecodeResult OpenAIProPlusResponsesAdapter::decodeStreamChunk(QByteArrayView payload)
{
    const auto chunk = OpenAIResponsesStreamChunk::decode(payload);
    if (!chunk)
        return AIDecodeResult::undecodable();
    switch (chunk->kind) {
    case OpenAIResponsesStreamChunk::Kind::textDelta:
        return AIDecodeResult::ofText(chunk->text);
    case OpenAIResponsesStreamChunk::Kind::error:
        return AIDecodeResult::failure(AIClientError::requestFailed(200, chunk->text));
    case OpenAIResponsesStreamChunk::Kind::completed:
        return AIDecodeResult::endOfStream();
    case OpenAIResponsesStreamChunk::Kind::other:
        break;
    }
    return AIDecodeResult::ofText(QString());
}
