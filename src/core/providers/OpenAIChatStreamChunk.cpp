#include "core/providers/OpenAIChatStreamChunk.h"

#include "core/providers/StreamEventJson.h"

namespace {

namespace od = simdjson::ondemand;
using Content = std::variant<QString, QList<OpenAIChatStreamChunk::Part>>;

const QString unsupportedContentFormat = QStringLiteral("Unsupported content format.");

// Absent or null is no string; a string is one; another type fails.
bool readOptionalString(od::value value, std::optional<QString> *out)
{
    od::json_type type;
    if (value.type().get(type))
        return false;
    if (type == od::json_type::null)
        return true;
    std::string_view text;
    if (type != od::json_type::string || value.get_string().get(text))
        return false;
    *out = StreamEventJson::toQString(text);
    return true;
}

bool decodePart(od::value value, OpenAIChatStreamChunk::Part *part)
{
    return StreamEventJson::forEachMember(value, [part](std::string_view name, od::value member) {
        if (name == "type")
            return readOptionalString(member, &part->type);
        if (name == "text")
            return readOptionalString(member, &part->text);
        return StreamEventJson::skip(member);
    });
}

bool decodeParts(od::value value, QList<OpenAIChatStreamChunk::Part> *parts)
{
    return StreamEventJson::forEachElement(value, [parts](od::value element) {
        OpenAIChatStreamChunk::Part part;
        if (!decodePart(element, &part))
            return false;
        parts->append(std::move(part));
        return true;
    });
}

// Absent or null content is no content; a string or an array of parts is
// content; anything else fails with "Unsupported content format.".
bool decodeContentValue(od::value value, std::optional<Content> *content, QString *error)
{
    content->reset();
    od::json_type type;
    if (value.type().get(type))
        return false;
    std::string_view text;
    QList<OpenAIChatStreamChunk::Part> parts;
    if (type == od::json_type::null)
        return true;
    if (type == od::json_type::string && !value.get_string().get(text)) {
        *content = StreamEventJson::toQString(text);
        return true;
    }
    if (type == od::json_type::array && decodeParts(value, &parts)) {
        *content = std::move(parts);
        return true;
    }
    *error = unsupportedContentFormat;
    return false;
}

bool decodeDelta(od::value value, std::optional<Content> *content, QString *error)
{
    content->reset();
    return StreamEventJson::forEachMember(value, [&](std::string_view name, od::value member) {
        return name == "content" ? decodeContentValue(member, content, error)
                                 : StreamEventJson::skip(member);
    });
}

bool decodeChoice(od::value value, OpenAIChatStreamChunk::Choice *choice, QString *error)
{
    bool sawDelta = false;
    const bool read =
        StreamEventJson::forEachMember(value, [&](std::string_view name, od::value member) {
            if (name != "delta")
                return StreamEventJson::skip(member);
            sawDelta = true;
            return decodeDelta(member, &choice->delta.content, error);
        });
    return read && sawDelta;
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

// Decodes an event, handing its choices to `take` (the last "choices" member
// counts: `reset` forgets what an earlier one handed on).
template<typename Take, typename Reset>
bool decodeEvent(QByteArrayView payload, QString *error, const Take &take, const Reset &reset)
{
    od::document document;
    od::value root;
    if (StreamEventJson::iterate(payload).get(document) || document.get_value().get(root))
        return false;
    const auto takeChoice = [&](od::value element) {
        OpenAIChatStreamChunk::Choice choice;
        if (!decodeChoice(element, &choice, error))
            return false;
        take(std::move(choice));
        return true;
    };
    bool sawChoices = false;
    const bool read =
        StreamEventJson::forEachMember(root, [&](std::string_view name, od::value member) {
            if (name != "choices")
                return StreamEventJson::skip(member);
            reset();
            sawChoices = true;
            return StreamEventJson::forEachElement(member, takeChoice);
        });
    return read && sawChoices && StreamEventJson::atEnd(document);
}

QString notAChunk()
{
    return QStringLiteral("The event is not a chat completion chunk.");
}

} // namespace

std::optional<OpenAIChatStreamChunk> OpenAIChatStreamChunk::decode(QByteArrayView payload,
                                                                   QString *errorDescription)
{
    QString error = notAChunk();
    OpenAIChatStreamChunk chunk;
    if (decodeEvent(
            payload, &error, [&](Choice &&choice) { chunk.choices.append(std::move(choice)); },
            [&] { chunk.choices.clear(); }))
        return chunk;
    if (errorDescription)
        *errorDescription = error;
    return std::nullopt;
}

std::optional<QString> OpenAIChatStreamChunk::decodeText(QByteArrayView payload)
{
    QString error;
    QString text;
    if (decodeEvent(
            payload, &error, [&](Choice &&choice) { text += pieceOf(choice); },
            [&] { text.clear(); }))
        return text;
    return std::nullopt;
}

QString OpenAIChatStreamChunk::text() const
{
    QString text;
    for (const Choice &choice : choices)
        text += pieceOf(choice);
    return text;
}
