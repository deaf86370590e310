#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// The body of a request to Anthropic's messages interface: the model, the
// token limit, the system prompt and one user message of content blocks.
struct AnthropicRequestBody
{
    struct ImageSource
    {
        QString type; // "base64"
        QString mediaType;
        QString data;
    };

    struct ContentBlock
    {
        QString type; // "text" or "image"
        std::optional<QString> text;
        std::optional<ImageSource> source;

        static ContentBlock textBlock(const QString &text);
        static ContentBlock pngImageBlock(const QByteArray &png);
    };

    struct Message
    {
        QString role;
        QList<ContentBlock> content;
    };

    QString model;
    int maxTokens = 0;
    std::optional<QString> system;
    QList<Message> messages;

    QJsonObject toJson() const;
    QByteArray encoded() const;
};
