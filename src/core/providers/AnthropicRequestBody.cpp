#include "core/providers/AnthropicRequestBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>

namespace {

QJsonObject blockJson(const AnthropicRequestBody::ContentBlock &block)
{
    QJsonObject json{{QStringLiteral("type"), block.type}};
    if (block.text)
        json.insert(QStringLiteral("text"), *block.text);
    if (block.source) {
        json.insert(QStringLiteral("source"),
                    QJsonObject{{QStringLiteral("type"), block.source->type},
                                {QStringLiteral("media_type"), block.source->mediaType},
                                {QStringLiteral("data"), block.source->data}});
    }
    return json;
}

} // namespace

AnthropicRequestBody::ContentBlock
AnthropicRequestBody::ContentBlock::textBlock(const QString &text)
{
    return {QStringLiteral("text"), text, std::nullopt};
}

AnthropicRequestBody::ContentBlock
AnthropicRequestBody::ContentBlock::pngImageBlock(const QByteArray &png)
{
    return {QStringLiteral("image"), std::nullopt,
            ImageSource{QStringLiteral("base64"), QStringLiteral("image/png"),
                        QString::fromLatin1(png.toBase64())}};
}

QJsonObject AnthropicRequestBody::toJson() const
{
    QJsonArray messagesJson;
    for (const Message &message : messages) {
        QJsonArray blocks;
        for (const ContentBlock &block : message.content)
            blocks.append(blockJson(block));
        messagesJson.append(QJsonObject{{QStringLiteral("role"), message.role},
                                        {QStringLiteral("content"), blocks}});
    }
    QJsonObject json{{QStringLiteral("model"), model},
                     {QStringLiteral("max_tokens"), maxTokens},
                     {QStringLiteral("messages"), messagesJson}};
    if (system)
        json.insert(QStringLiteral("system"), *system);
    return json;
}

QByteArray AnthropicRequestBody::encoded() const
{
    return ProviderWire::encode(toJson());
}
