#pragma once

#include "core/ai/AIClientError.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>

// What a provider's decoder made of a whole body or of one stream event:
// - text: the reply (or the piece of it the event carries; may be empty);
// - undecodable: not the expected shape. For a whole body the request fails
//   with decodingFailed quoting the body; a stream event is skipped;
// - failure: the body or event reports an error that ends the request.
struct AIDecodeResult
{
    enum class Outcome { text, undecodable, failure };

    Outcome outcome = Outcome::undecodable;
    QString text;
    std::optional<AIClientError> error;
    // A stream event that is its format's end event (see
    // AIHttpRequest::streamEndsWithEvent); carries no text.
    bool endsStream = false;

    static AIDecodeResult ofText(const QString &text)
    {
        return {Outcome::text, text, std::nullopt, false};
    }
    static AIDecodeResult undecodable() { return {Outcome::undecodable, {}, std::nullopt}; }
    static AIDecodeResult endOfStream() { return {Outcome::text, {}, std::nullopt, true}; }
    static AIDecodeResult failure(const AIClientError &error)
    {
        return {Outcome::failure, {}, error, false};
    }
};

// Decodes a whole response body.
using AIDecodeFunction = std::function<AIDecodeResult(const QByteArray &body)>;
// Decodes the payload of one "data:" line of an event stream. The view is
// valid only during the call.
using AIDecodeChunkFunction = std::function<AIDecodeResult(QByteArrayView eventPayload)>;
