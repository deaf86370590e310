#pragma once

#include "core/desktop/TextClipboard.h"

// The user's clipboard through QClipboard (main thread).
class QtTextClipboard : public TextClipboard
{
public:
    bool setText(const QString &text) override;
};
