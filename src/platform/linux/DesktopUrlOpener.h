#pragma once

#include "core/desktop/UrlOpener.h"

// Opens URLs the way the desktop wants: QDesktopServices in a GUI process
// (the desktop's handler or portal; xdg-open underneath on most desktops),
// xdg-open directly where QDesktopServices cannot (the command line has no
// GUI application; headless platforms have no URL handler). xdg-open honours
// $BROWSER outside a full desktop environment.
class DesktopUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;
};
