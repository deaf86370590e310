#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The body of a streamed "responses" request: the model, the system prompt
// as instructions, and the messages of typed content parts. Never
// stored, always streamed.
struct OpenAIResponsesRequestBody
{
    struct ContentPart
    {
        enum class Type { inputText, inputImage, outputText };
        Type type = Type::inputText;
        // The text, or the image's URL text.
        QString value;

        static ContentPart inputText(const QString &text) { return {Type::inputText, text}; }
        static ContentPart inputImage(const QString &url) { return {Type::inputImage, url}; }
        // An earlier reply of the model's.
        static ContentPart outputText(const QString &text) { return {Type::outputText, text}; }
    };

    struct Message
    {
        QString role = QStringLiteral("user");
        QList<ContentPart> content;
    };

    QString model;
    QString instructions;
    QList<Message> input;

    QJsonObject toJson() const;
    QByteArray encoded() const;
};
