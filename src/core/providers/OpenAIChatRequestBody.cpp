#include "core/providers/OpenAIChatRequestBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>

namespace {

QJsonObject partJson(const OpenAIChatRequestBody::ContentPart &part)
{
    QJsonObject json{{QStringLiteral("type"), part.type}};
    if (part.text)
        json.insert(QStringLiteral("text"), *part.text);
    if (part.imageURL)
        json.insert(QStringLiteral("image_url"),
                    QJsonObject{{QStringLiteral("url"), part.imageURL->url}});
    return json;
}

QJsonValue
contentJson(const std::variant<QString, QList<OpenAIChatRequestBody::ContentPart>> &content)
{
    if (const auto *text = std::get_if<QString>(&content))
        return *text;
    QJsonArray parts;
    for (const auto &part : std::get<QList<OpenAIChatRequestBody::ContentPart>>(content))
        parts.append(partJson(part));
    return parts;
}

} // namespace

OpenAIChatRequestBody::ContentPart OpenAIChatRequestBody::ContentPart::textPart(const QString &text)
{
    return {QStringLiteral("text"), text, std::nullopt};
}

OpenAIChatRequestBody::ContentPart
OpenAIChatRequestBody::ContentPart::imageURLPart(const QString &url)
{
    return {QStringLiteral("image_url"), std::nullopt, ImageURL{url}};
}

QJsonObject OpenAIChatRequestBody::toJson() const
{
    QJsonArray messagesJson;
    for (const Message &message : messages) {
        messagesJson.append(QJsonObject{{QStringLiteral("role"), message.role},
                                        {QStringLiteral("content"), contentJson(message.content)}});
    }
    return {{QStringLiteral("model"), model},
            {QStringLiteral("stream"), stream},
            {QStringLiteral("messages"), messagesJson}};
}

QByteArray OpenAIChatRequestBody::encoded() const
{
    return ProviderWire::encode(toJson());
}
