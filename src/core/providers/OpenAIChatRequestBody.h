#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>
#include <variant>

// The body of a chat-completions request: the model, whether to stream, and
// a system and a user message. A message's content is a plain string or a
// list of text and image parts.
struct OpenAIChatRequestBody
{
    struct ImageURL
    {
        QString url;
    };

    struct ContentPart
    {
        QString type; // "text" or "image_url"
        std::optional<QString> text;
        std::optional<ImageURL> imageURL;

        static ContentPart textPart(const QString &text);
        static ContentPart imageURLPart(const QString &url);
    };

    struct Message
    {
        QString role; // "system", "user" or "assistant"
        std::variant<QString, QList<ContentPart>> content;
    };

    QString model;
    bool stream = false;
    QList<Message> messages;

    QJsonObject toJson() const;
    QByteArray encoded() const;
};
