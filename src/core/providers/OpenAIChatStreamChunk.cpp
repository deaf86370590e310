#include "core/providers/OpenAIChatStreamChunk.h"

#include "core/providers/ProviderWire.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

using Content = std::variant<QString, QList<OpenAIChatStreamChunk::Part>>;

const QString unsupportedContentFormat = QStringLiteral("Unsupported content format.");

bool decodeParts(const QJsonArray &array, QList<OpenAIChatStreamChunk::Part> *parts)
{
    for (const QJsonValue &value : array) {
        if (!value.isObject())
            return false;
        OpenAIChatStreamChunk::Part part;
        const QJsonObject object = value.toObject();
        if (!ProviderWire::readOptionalString(object, QStringLiteral("type"), &part.type) ||
            !ProviderWire::readOptionalString(object, QStringLiteral("text"), &part.text))
            return false;
        parts->append(part);
    }
    return true;
}

// Absent or null content is no content; a string or an array of parts is
// content; anything else fails with "Unsupported content format.".
bool decodeContent(const QJsonObject &delta, std::optional<Content> *content, QString *error)
{
    const QJsonValue value = delta.value(QStringLiteral("content"));
    if (value.isUndefined() || value.isNull())
        return true;
    if (value.isString()) {
        *content = value.toString();
        return true;
    }
    QList<OpenAIChatStreamChunk::Part> parts;
    if (value.isArray() && decodeParts(value.toArray(), &parts)) {
        *content = parts;
        return true;
    }
    *error = unsupportedContentFormat;
    return false;
}

QString pieceOf(const OpenAIChatStreamChunk::Choice &choice)
{
    if (!choice.delta.content)
        return {};
    if (const auto *text = std::get_if<QString>(&*choice.delta.content))
        return *text;
    QString piece;
    for (const auto &part : std::get<QList<OpenAIChatStreamChunk::Part>>(*choice.delta.content))
        piece += part.text.value_or(QString());
    return piece;
}

} // namespace

std::optional<OpenAIChatStreamChunk> OpenAIChatStreamChunk::decode(const QByteArray &payload,
                                                                   QString *errorDescription)
{
    QString error = QStringLiteral("The event is not a chat completion chunk.");
    const auto finish = [&]() -> std::optional<OpenAIChatStreamChunk> {
        if (errorDescription)
            *errorDescription = error;
        return std::nullopt;
    };

    const auto object = ProviderWire::parseObject(payload);
    QJsonArray choicesJson;
    if (!object || !ProviderWire::readArray(*object, QStringLiteral("choices"), &choicesJson))
        return finish();

    OpenAIChatStreamChunk chunk;
    for (const QJsonValue &choiceValue : choicesJson) {
        QJsonObject delta;
        if (!ProviderWire::readObject(choiceValue.toObject(), QStringLiteral("delta"), &delta))
            return finish();
        Choice choice;
        if (!decodeContent(delta, &choice.delta.content, &error))
            return finish();
        chunk.choices.append(choice);
    }
    return chunk;
}

QString OpenAIChatStreamChunk::text() const
{
    QString text;
    for (const Choice &choice : choices)
        text += pieceOf(choice);
    return text;
}
