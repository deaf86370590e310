#pragma once

#include <QUrl>
#include <memory>

// Opens a URL with the desktop's default handler (the browser for web pages).
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;

    // Asks the desktop to open `url`; false when no handler could be started.
    // Returns at once: whether the page really shows is not known.
    virtual bool openUrl(const QUrl &url) = 0;
};
