#include "core/providers/StreamEventJson.h"

#include <cstring>
#include <vector>

namespace {

struct ThreadParser
{
    simdjson::ondemand::parser parser;
    // The payload with the zeroed padding simdjson reads past its end.
    std::vector<char> buffer;
};

ThreadParser &threadParser()
{
    thread_local ThreadParser instance;
    return instance;
}

} // namespace

namespace StreamEventJson {

simdjson::simdjson_result<simdjson::ondemand::document> iterate(QByteArrayView payload)
{
    ThreadParser &state = threadParser();
    const auto length = size_t(payload.size());
    if (state.buffer.size() < length + simdjson::SIMDJSON_PADDING)
        state.buffer.resize(length + simdjson::SIMDJSON_PADDING);
    if (length > 0)
        std::memcpy(state.buffer.data(), payload.data(), length);
    std::memset(state.buffer.data() + length, 0, simdjson::SIMDJSON_PADDING);
    return state.parser.iterate(
        simdjson::padded_string_view(state.buffer.data(), length, state.buffer.size()));
}

bool skip(simdjson::ondemand::value value)
{
    namespace od = simdjson::ondemand;
    od::json_type type;
    if (value.type().get(type))
        return false;
    switch (type) {
    case od::json_type::object:
        return forEachMember(value,
                             [](std::string_view, od::value member) { return skip(member); });
    case od::json_type::array:
        return forEachElement(value, [](od::value member) { return skip(member); });
    case od::json_type::string:
        return !value.get_string().error();
    case od::json_type::number:
        return !value.get_number().error();
    case od::json_type::boolean:
        return !value.get_bool().error();
    case od::json_type::null:
        return value.is_null().value_unsafe();
    }
    return false;
}

bool atEnd(simdjson::ondemand::document &document)
{
    return document.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

} // namespace StreamEventJson
