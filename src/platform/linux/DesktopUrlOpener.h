#pragma once

#include "core/desktop/UrlOpener.h"

// Opens URLs the way the desktop wants: QDesktopServices in a GUI process
// (xdg-open underneath, which honours $BROWSER outside a full desktop
// environment), xdg-open directly from the command line, where no GUI
// application exists.
class DesktopUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;
};
