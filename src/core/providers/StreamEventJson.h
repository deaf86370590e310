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

inline QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace StreamEventJson
