#pragma once

#include <QString>

// The user's clipboard, for putting a reply on it as plain text (the copy
// command). Called on the main thread.
class TextClipboard
{
public:
    virtual ~TextClipboard() = default;

    // Replaces the clipboard's contents with `text`; false when refused.
    virtual bool setText(const QString &text) = 0;
};
