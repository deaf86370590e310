#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A whole (non-streamed) chat completion: the message of every choice.
struct OpenAIChatResponseBody
{
    struct Message
    {
        QString content;
    };

    struct Choice
    {
        Message message;
    };

    QList<Choice> choices;

    // Nothing when the body lacks "choices", a choice's "message" or its
    // string "content".
    static std::optional<OpenAIChatResponseBody> decode(const QByteArray &body);
};
