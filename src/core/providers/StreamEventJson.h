#pragma once

#include <QByteArrayView>
#include <QString>
#include <simdjson.h>
#include <string_view>

// Reads the JSON payload of one stream event with simdjson's On-Demand API:
// only the members a decoder asks for are decoded, nothing is built for the
// rest. Each thread keeps one parser and one padded buffer, reused for every
// event, so decoding an event allocates nothing of its own.
//
// A decoder reads the members it knows and passes every other value to
// skip(), so a payload that is not valid JSON as a whole is rejected, as
// QJsonDocument rejects it. (Unlike QJsonDocument, a string escaping half a
// surrogate pair is rejected too.)
namespace StreamEventJson {

// The payload as a document. It lives in this thread's parser: it is valid
// until the next call on the same thread.
simdjson::simdjson_result<simdjson::ondemand::document> iterate(QByteArrayView payload);

// Reads a value that is not needed, only to check that it is valid JSON.
bool skip(simdjson::ondemand::value value);

// Whether the whole document was read: nothing follows its root value.
bool atEnd(simdjson::ondemand::document &document);

// Hands every member of an object to `take(name, value)`, in order. False
// when a member is not valid JSON or `take` answers false.
template<typename Take> bool forEachMember(simdjson::ondemand::value value, const Take &take)
{
    simdjson::ondemand::object object;
    if (value.get_object().get(object))
        return false;
    for (auto field : object) {
        std::string_view name;
        simdjson::ondemand::value member;
        if (field.unescaped_key().get(name) || field.value().get(member) || !take(name, member))
            return false;
    }
    return true;
}

// Hands every element of an array to `take(value)`, in order; as above.
template<typename Take> bool forEachElement(simdjson::ondemand::value value, const Take &take)
{
    simdjson::ondemand::array array;
    if (value.get_array().get(array))
        return false;
    for (auto element : array) {
        simdjson::ondemand::value member;
        if (element.get(member) || !take(member))
            return false;
    }
    return true;
}

inline QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace StreamEventJson
