#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The body of a Gemini content-generation request: one user content whose
// parts are the prompt and, optionally, an inline image.
struct GeminiRequestBody
{
    struct InlineData
    {
        QString mimeType;
        QString data;
    };

    struct Part
    {
        std::optional<QString> text;
        std::optional<InlineData> inlineData;

        static Part textPart(const QString &text);
        static Part pngImagePart(const QByteArray &png);
    };

    struct Content
    {
        QString role;
        QList<Part> parts;
    };

    QList<Content> contents;

    QJsonObject toJson() const;
    QByteArray encoded() const;
};
