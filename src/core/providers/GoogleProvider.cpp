#include "core/providers/GoogleProvider.h"

#include "core/ai/AIClient.h"
#include "core/ai/AIRequestSupport.h"
#include "core/providers/GeminiResponseBody.h"
#include "core/providers/ProviderWire.h"
#include "core/support/SecretMemory.h"

#include <QUrlQuery>

GoogleProvider::GoogleProvider()
    : WholeAnswerProvider(QStringLiteral("google"), QStringLiteral("Google"),
                          QStringLiteral("google_api_key"),
                          AIRequestTimeoutRetryPolicy::unsafeSingleHedge)
{
}

AIReply *GoogleProvider::send(AIClient &client, const AIRequestContext &context,
                              const AIRequestOptions &options) const
{
    const auto request = httpRequest(context);
    if (!request && ProviderWire::catalogEndpoint(id()).isEmpty())
        return ProviderWire::noEndpoint(id());
    if (!request) {
        return ProviderWire::notSent(
            id(), QStringLiteral("its endpoint in model-catalog.json and the model \"%1\" do not "
                                 "form an http or https URL.")
                      .arg(context.model));
    }
    return client.performRequest(*request, options, &GoogleProvider::decodeResponse);
}

GeminiRequestBody GoogleProvider::requestBody(const AIRequestContext &context)
{
    const AIRequestSupport::Prompt prompt = AIRequestSupport::buildPrompt(context);

    using Part = GeminiRequestBody::Part;
    GeminiRequestBody body;
    for (const AIRequestSupport::PromptMessage &message : prompt.messages) {
        body.contents.append({message.fromUser ? QStringLiteral("user") : QStringLiteral("model"),
                              {Part::textPart(message.text)}});
    }
    // The system prompt goes in front of the first message.
    Part &first = body.contents.first().parts.first();
    first = Part::textPart(prompt.system + QStringLiteral("\n\n") + prompt.messages.first().text);
    if (context.imageData)
        body.contents.first().parts.append(Part::pngImagePart(*context.imageData));
    return body;
}

std::optional<QUrl> GoogleProvider::requestURL(const AIRequestContext &context) const
{
    QString text = ProviderWire::catalogEndpoint(id());
    if (text.isEmpty())
        return std::nullopt;
    text.replace(QStringLiteral("{model}"), context.model);
    auto url = ProviderWire::parseEndpoint(text);
    if (!url)
        return std::nullopt;

    // QUrlQuery leaves "+" as it is, which servers read as a space, so the
    // key goes in fully percent-encoded.
    QByteArray encodedKey = QUrl::toPercentEncoding(context.apiKey);
    QString keyText = QString::fromLatin1(encodedKey);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("key"), keyText);
    url->setQuery(query);
    query.clear();
    SecretMemory::wipe(encodedKey);
    SecretMemory::wipe(keyText);
    if (!url->isValid())
        return std::nullopt;
    return url;
}

std::optional<AIHttpRequest> GoogleProvider::httpRequest(const AIRequestContext &context) const
{
    const auto url = requestURL(context);
    if (!url)
        return std::nullopt;

    AIHttpRequest http;
    http.request = ProviderWire::postRequest(*url);
    http.request.setRawHeader("Content-Type", "application/json");
    http.method = QByteArrayLiteral("POST");
    http.body = requestBody(context).encoded();
    http.secrets = {context.apiKey};
    return http;
}

AIDecodeResult GoogleProvider::decodeResponse(const QByteArray &body)
{
    const auto response = GeminiResponseBody::decode(body);
    return answer(response ? std::optional(response->text()) : std::nullopt);
}
