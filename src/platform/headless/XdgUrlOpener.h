#pragma once

#include "core/desktop/UrlOpener.h"

// Opens URLs with xdg-open, which needs no GUI in this process: the desktop's
// handler where there is one, $BROWSER outside a full desktop environment.
class XdgUrlOpener : public UrlOpener
{
public:
    bool openUrl(const QUrl &url) override;
};
