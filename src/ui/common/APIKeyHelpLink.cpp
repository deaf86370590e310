#include "ui/common/APIKeyHelpLink.h"

#include "core/desktop/UrlOpener.h"
#include "core/providers/AIProvider.h"
#include "ui/common/WindowStyle.h"

#include <QDesktopServices>

APIKeyHelpLink::APIKeyHelpLink(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::RichText);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setFont(WindowStyle::captionFont(font()));
    connect(this, &QLabel::linkActivated, this, &APIKeyHelpLink::open);
}

void APIKeyHelpLink::setProvider(const AIProvider &provider)
{
    m_url = provider.apiKeyDocsURL().value_or(QUrl());
    const QString title = provider.apiKeyDocsTitle();
    setText(m_url.isValid() ? QStringLiteral("<a href=\"%1\">%2</a>")
                                  .arg(m_url.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                       title.toHtmlEscaped())
                            : QString());
    setAccessibleName(m_url.isValid() ? title : QString());
    setToolTip(m_url.isValid() ? m_url.toDisplayString() : QString());
    setVisible(m_url.isValid());
}

void APIKeyHelpLink::open()
{
    if (!m_url.isValid())
        return;
    if (const auto opener = UrlOpener::defaultOpener())
        opener->openUrl(m_url);
    else
        QDesktopServices::openUrl(m_url);
}
