#include "core/providers/OpenAIResponsesRequestBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>

namespace {

QJsonObject partJson(const OpenAIResponsesRequestBody::ContentPart &part)
{
    using Type = OpenAIResponsesRequestBody::ContentPart::Type;
    if (part.type == Type::inputImage)
        return {{QStringLiteral("type"), QStringLiteral("input_image")},
                {QStringLiteral("image_url"), part.value}};
    return {{QStringLiteral("type"), part.type == Type::outputText ? QStringLiteral("output_text")
                                                                   : QStringLiteral("input_text")},
            {QStringLiteral("text"), part.value}};
}

} // namespace

QJsonObject OpenAIResponsesRequestBody::toJson() const
{
    QJsonArray messages;
    for (const Message &message : input) {
        QJsonArray parts;
        for (const ContentPart &part : message.content)
            parts.append(partJson(part));
        messages.append(QJsonObject{{QStringLiteral("role"), message.role},
                                    {QStringLiteral("content"), parts}});
    }
    return {{QStringLiteral("model"), model},
            {QStringLiteral("store"), false},
            {QStringLiteral("stream"), true},
            {QStringLiteral("instructions"), instructions},
            {QStringLiteral("input"), messages}};
}

QByteArray OpenAIResponsesRequestBody::encoded() const
{
    return ProviderWire::encode(toJson());
}
