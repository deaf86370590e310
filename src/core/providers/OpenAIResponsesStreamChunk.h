#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

// One event of a "responses" stream, as far as the reply text is concerned:
// a piece of output text, an error that ends the request, the end of the
// response, or anything else (which carries no text).
struct OpenAIResponsesStreamChunk
{
    enum class Kind { textDelta, error, completed, other };

    Kind kind = Kind::other;
    // The delta's text, or the error's message.
    QString text;

    // Nothing when the payload is not JSON at all; a JSON array is "other".
    static std::optional<OpenAIResponsesStreamChunk> decode(QByteArrayView payload);
};
