#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// An answer of Anthropic's messages interface: its content blocks.
struct AnthropicResponseBody
{
    struct ContentBlock
    {
        QString type;
        std::optional<QString> text;
    };

    QList<ContentBlock> content;

    // Nothing when the body lacks "content" or a block lacks "type".
    static std::optional<AnthropicResponseBody> decode(const QByteArray &body);

    // The texts of all blocks that have one, in order, without separators.
    QString text() const;
};
