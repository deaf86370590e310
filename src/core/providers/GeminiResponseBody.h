#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// An answer of Gemini content generation: its candidates, each with the
// parts of its content.
struct GeminiResponseBody
{
    struct Part
    {
        std::optional<QString> text;
    };

    struct Content
    {
        QList<Part> parts;
    };

    struct Candidate
    {
        Content content;
    };

    QList<Candidate> candidates;

    // Nothing when the body lacks "candidates", or a candidate its "content"
    // or the content its "parts".
    static std::optional<GeminiResponseBody> decode(const QByteArray &body);

    // The texts of the first candidate's parts, in order, without
    // separators; empty without candidates.
    QString text() const;
};
