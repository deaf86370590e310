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

bool readMembers(od::value object, EventMembers *members)
{
    return StreamEventJson::forEachMember(
        object, [members](std::string_view name, od::value value) {
            std::optional<QString> *slot = name == "type"      ? &members->type
                                           : name == "delta"   ? &members->delta
                                           : name == "message" ? &members->message
                                                               : nullptr;
            od::json_type type;
            if (value.type().get(type))
                return false;
            std::string_view text;
            if (type == od::json_type::string) {
                if (value.get_string().get(text))
                    return false;
                if (slot)
                    *slot = StreamEventJson::toQString(text);
                return true;
            }
            members->onlyStrings = false;
            if (slot)
                slot->reset();
            return StreamEventJson::skip(value);
        });
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
    od::value object;
    EventMembers members;
    if (type != od::json_type::object || document.get_value().get(object) ||
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
