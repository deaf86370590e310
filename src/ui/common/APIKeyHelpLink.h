#pragma once

#include <QLabel>
#include <QUrl>

class AIProvider;
class UrlOpener;

// The link under a key field to the page where the provider hands out keys,
// titled "Get <provider> API Key"; shows nothing for a provider without one.
// Opens the page in the user's browser, also through a screen reader's
// action (a link to AT-SPI).
class APIKeyHelpLink : public QLabel
{
    Q_OBJECT

public:
    explicit APIKeyHelpLink(UrlOpener &browser, QWidget *parent = nullptr);

    void setProvider(const AIProvider &provider);
    QUrl url() const { return m_url; }
    void open();

private:
    UrlOpener &m_browser;
    QUrl m_url;
};
