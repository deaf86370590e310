#include "core/providers/OpenAIResponsesStreamChunk.h"

#include "core/providers/StreamEventJson.h"

namespace {

namespace od = simdjson::ondemand;

// The string members an event's kind depends on, and whether all its
// members are strings.
struct EventMembers
{
    std::optional<QString> type;
    std::optional<QString> delta;
    std::optional<QString> message;
    bool onlyStrings = true;
};

bool readMembers(od::object object, EventMembers *members)
{
    for (auto field : object) {
        std::string_view key;
        od::value value;
        od::json_type type;
        if (field.unescaped_key().get(key) || field.value().get(value) || value.type().get(type))
            return false;
        std::optional<QString> *slot = key == "type"      ? &members->type
                                       : key == "delta"   ? &members->delta
                                       : key == "message" ? &members->message
                                                          : nullptr;
        if (type != od::json_type::string) {
            members->onlyStrings = false;
            if (slot)
                slot->reset();
            if (!StreamEventJson::skip(value))
                return false;
            continue;
        }
        std::string_view text;
        if (value.get_string().get(text))
            return false;
        if (slot)
            *slot = StreamEventJson::toQString(text);
    }
    return true;
}

bool isCompletion(const EventMembers &members)
{
    return members.onlyStrings && members.type &&
           (*members.type == QLatin1String("response.completed") ||
            *members.type == QLatin1String("response.incomplete"));
}

} // namespace

std::optional<OpenAIResponsesStreamChunk> OpenAIResponsesStreamChunk::decode(QByteArrayView payload)
{
    od::document document;
    od::json_type type;
    if (StreamEventJson::iterate(payload).get(document) || document.type().get(type))
        return std::nullopt;
    if (type == od::json_type::array) {
        od::value value;
        if (document.get_value().get(value) || !StreamEventJson::skip(value) ||
            !StreamEventJson::atEnd(document))
            return std::nullopt;
        return OpenAIResponsesStreamChunk{};
    }
    od::object object;
    EventMembers members;
    if (type != od::json_type::object || document.get_object().get(object) ||
        !readMembers(object, &members) || !StreamEventJson::atEnd(document))
        return std::nullopt;
    if (members.type == QLatin1String("response.output_text.delta") && members.delta)
        return OpenAIResponsesStreamChunk{Kind::textDelta, *members.delta};
    if (members.type == QLatin1String("error") && members.message)
        return OpenAIResponsesStreamChunk{Kind::error, *members.message};
    if (isCompletion(members))
        return OpenAIResponsesStreamChunk{Kind::completed, {}};
    return OpenAIResponsesStreamChunk{};
}
