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
    od::object object;
    if (value.get_object().get(object))
        return false;
    for (auto field : object) {
        std::string_view key;
        od::value member;
        if (field.unescaped_key().get(key) || field.value().get(member))
            return false;
        const bool read = key == "type"   ? readOptionalString(member, &part->type)
                          : key == "text" ? readOptionalString(member, &part->text)
                                          : StreamEventJson::skip(member);
        if (!read)
            return false;
    }
    return true;
}

bool decodeParts(od::array array, QList<OpenAIChatStreamChunk::Part> *parts)
{
    for (auto element : array) {
        od::value value;
        OpenAIChatStreamChunk::Part part;
        if (element.get(value) || !decodePart(value, &part))
            return false;
        parts->append(std::move(part));
    }
    return true;
}

// Absent or null content is no content; a string or an array of parts is
// content; anything else fails with "Unsupported content format.".
bool decodeContent(od::object delta, std::optional<Content> *content, QString *error)
{
    for (auto field : delta) {
        std::string_view key;
        od::value value;
        if (field.unescaped_key().get(key) || field.value().get(value))
            return false;
        if (key != "content") {
            if (!StreamEventJson::skip(value))
                return false;
            continue;
        }
        content->reset();
        od::json_type type;
        if (value.type().get(type))
            return false;
        std::string_view text;
        od::array array;
        QList<OpenAIChatStreamChunk::Part> parts;
        if (type == od::json_type::null)
            continue;
        if (type == od::json_type::string && !value.get_string().get(text)) {
            *content = StreamEventJson::toQString(text);
        } else if (type == od::json_type::array && !value.get_array().get(array) &&
                   decodeParts(array, &parts)) {
            *content = std::move(parts);
        } else {
            *error = unsupportedContentFormat;
            return false;
        }
    }
    return true;
}

bool decodeChoice(od::value value, OpenAIChatStreamChunk::Choice *choice, QString *error)
{
    od::object object;
    if (value.get_object().get(object))
        return false;
    bool sawDelta = false;
    for (auto field : object) {
        std::string_view key;
        od::value member;
        if (field.unescaped_key().get(key) || field.value().get(member))
            return false;
        if (key != "delta") {
            if (!StreamEventJson::skip(member))
                return false;
            continue;
        }
        od::object delta;
        choice->delta.content.reset();
        if (member.get_object().get(delta) || !decodeContent(delta, &choice->delta.content, error))
            return false;
        sawDelta = true;
    }
    return sawDelta;
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

// Hands every choice of the array to `take`, in order.
template<typename Take> bool decodeChoices(od::value value, QString *error, const Take &take)
{
    od::array array;
    if (value.get_array().get(array))
        return false;
    for (auto element : array) {
        od::value choiceValue;
        OpenAIChatStreamChunk::Choice choice;
        if (element.get(choiceValue) || !decodeChoice(choiceValue, &choice, error))
            return false;
        take(std::move(choice));
    }
    return true;
}

// Decodes an event, handing its choices to `take` (the last "choices" member
// counts: `reset` forgets what an earlier one handed on).
template<typename Take, typename Reset>
bool decodeEvent(QByteArrayView payload, QString *error, const Take &take, const Reset &reset)
{
    od::document document;
    od::object root;
    if (StreamEventJson::iterate(payload).get(document) || document.get_object().get(root))
        return false;
    bool sawChoices = false;
    for (auto field : root) {
        std::string_view key;
        od::value value;
        if (field.unescaped_key().get(key) || field.value().get(value))
            return false;
        if (key != "choices") {
            if (!StreamEventJson::skip(value))
                return false;
            continue;
        }
        reset();
        if (!decodeChoices(value, error, take))
            return false;
        sawChoices = true;
    }
    return sawChoices && StreamEventJson::atEnd(document);
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
