#pragma once

#include "core/desktop/UrlOpener.h"

// Opens URLs the way the desktop wants: QDesktopServices in a GUI process
// (the desktop's handler or portal; xdg-open underneath on most desktops),
// xdg-open directly where QDesktopServices cannot (no GUI application;
// headless platforms have no URL handler).
class DesktopUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;
};
