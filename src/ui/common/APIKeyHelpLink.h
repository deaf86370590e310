#pragma once

#include <QLabel>
#include <QUrl>

class AIProvider;

// The link under a key field to the page where the provider hands out keys,
// titled "Get <provider> API Key"; shows nothing for a provider without one.
// Opens the page in the user's browser, also through a screen reader's
// action (a link to AT-SPI).
class APIKeyHelpLink : public QLabel
{
    Q_OBJECT

public:
    explicit APIKeyHelpLink(QWidget *parent = nullptr);

    void setProvider(const AIProvider &provider);
    QUrl url() const { return m_url; }
    void open();

private:
    QUrl m_url;
};
