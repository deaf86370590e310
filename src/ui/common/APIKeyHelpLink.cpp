#include "ui/common/APIKeyHelpLink.h"

#include "core/desktop/UrlOpener.h"
#include "core/providers/AIProvider.h"
#include "ui/common/WindowStyle.h"

#include <QAccessibleWidget>

namespace {

// A label's link has no action of its own over AT-SPI.
class HelpLinkAccessible : public QAccessibleWidget
{
public:
    explicit HelpLinkAccessible(APIKeyHelpLink *link)
        : QAccessibleWidget(link, QAccessible::Link)
    {
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString &name) override
    {
        if (name == pressAction())
            static_cast<APIKeyHelpLink *>(widget())->open();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface *helpLinkFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(APIKeyHelpLink::staticMetaObject.className()))
        return new HelpLinkAccessible(static_cast<APIKeyHelpLink *>(object));
    return nullptr;
}

} // namespace

APIKeyHelpLink::APIKeyHelpLink(UrlOpener &browser, QWidget *parent)
    : QLabel(parent)
    , m_browser(browser)
{
    static const bool accessible = [] {
        QAccessible::installFactory(helpLinkFactory);
        return true;
    }();
    Q_UNUSED(accessible);
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
    m_browser.openUrl(m_url);
}
