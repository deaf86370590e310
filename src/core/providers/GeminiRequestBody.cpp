#include "core/providers/GeminiRequestBody.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>

namespace {

QJsonObject partJson(const GeminiRequestBody::Part &part)
{
    QJsonObject json;
    if (part.text)
        json.insert(QStringLiteral("text"), *part.text);
    if (part.inlineData) {
        json.insert(QStringLiteral("inline_data"),
                    QJsonObject{{QStringLiteral("mime_type"), part.inlineData->mimeType},
                                {QStringLiteral("data"), part.inlineData->data}});
    }
    return json;
}

} // namespace

GeminiRequestBody::Part GeminiRequestBody::Part::textPart(const QString &text)
{
    return {text, std::nullopt};
}

GeminiRequestBody::Part GeminiRequestBody::Part::pngImagePart(const QByteArray &png)
{
    return {std::nullopt,
            InlineData{QStringLiteral("image/png"), QString::fromLatin1(png.toBase64())}};
}

QJsonObject GeminiRequestBody::toJson() const
{
    QJsonArray contentsJson;
    for (const Content &content : contents) {
        QJsonArray parts;
        for (const Part &part : content.parts)
            parts.append(partJson(part));
        contentsJson.append(
            QJsonObject{{QStringLiteral("role"), content.role}, {QStringLiteral("parts"), parts}});
    }
    return {{QStringLiteral("contents"), contentsJson}};
}

QByteArray GeminiRequestBody::encoded() const
{
    return ProviderWire::encode(toJson());
}
