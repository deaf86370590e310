#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

// One event of a streamed chat completion: for every choice, the piece of
// text its delta carries, as a string or as a list of parts.
struct OpenAIChatStreamChunk
{
    struct Part
    {
        std::optional<QString> type;
        std::optional<QString> text;
    };

    struct Delta
    {
        // Absent when the event carries no text (a role or finish event).
        std::optional<std::variant<QString, QList<Part>>> content;
    };

    struct Choice
    {
        Delta delta;
    };

    QList<Choice> choices;

    // Nothing when the payload is not such an event; `errorDescription`
    // then says why ("Unsupported content format." for a content of
    // another type). Members other than these are ignored.
    static std::optional<OpenAIChatStreamChunk> decode(QByteArrayView payload,
                                                       QString *errorDescription = nullptr);

    // The pieces of all choices, in order, without separators.
    QString text() const;

    // decode(payload)->text() without building the event: the text of an
    // event on the fast path of a stream.
    static std::optional<QString> decodeText(QByteArrayView payload);
};
