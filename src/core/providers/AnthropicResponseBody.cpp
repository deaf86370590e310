#include "core/providers/AnthropicResponseBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>
#include <QJsonObject>

std::optional<AnthropicResponseBody> AnthropicResponseBody::decode(const QByteArray &body)
{
    const auto object = ProviderWire::parseObject(body);
    QJsonArray blocks;
    if (!object || !ProviderWire::readArray(*object, QStringLiteral("content"), &blocks))
        return std::nullopt;

    AnthropicResponseBody response;
    for (const QJsonValue &blockValue : blocks) {
        const QJsonObject blockJson = blockValue.toObject();
        ContentBlock block;
        if (!ProviderWire::readString(blockJson, QStringLiteral("type"), &block.type) ||
            !ProviderWire::readOptionalString(blockJson, QStringLiteral("text"), &block.text))
            return std::nullopt;
        response.content.append(block);
    }
    return response;
}

QString AnthropicResponseBody::text() const
{
    QString text;
    for (const ContentBlock &block : content)
        text += block.text.value_or(QString());
    return text;
}
