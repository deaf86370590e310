#include "ui/common/DeviceCodeView.h"

#include "core/desktop/UrlOpener.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DeviceCodeView::DeviceCodeView(UrlOpener &browser, QWidget *parent)
    : QFrame(parent)
    , m_browser(browser)
    , m_code(new QLabel(this))
    , m_copy(new QPushButton(tr("Copy Code"), this))
    , m_open(new QPushButton(tr("Open Verification Page"), this))
{
    setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(8);
    layout->addWidget(StyledLabel::caption(
        tr("Enter this code on the verification page to finish signing in:"), this));

    QFont codeFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    codeFont.setPointSizeF(font().pointSizeF() * 2.0);
    codeFont.setWeight(QFont::DemiBold);
    codeFont.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    m_code->setFont(codeFont);
    m_code->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_code->setFocusPolicy(Qt::StrongFocus);
    m_code->setAccessibleDescription(tr("Device login code"));
    layout->addWidget(m_code);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_copy);
    buttons->addWidget(m_open);
    buttons->addStretch();
    layout->addLayout(buttons);
    WindowStyle::makeRoomy(m_copy);
    WindowStyle::makeRoomy(m_open);
    m_copy->setAccessibleName(m_copy->text());
    m_open->setAccessibleName(m_open->text());

    connect(m_copy, &QPushButton::clicked, this, [this] {
        if (QClipboard *clipboard = QGuiApplication::clipboard())
            clipboard->setText(m_code->text());
    });
    connect(m_open, &QPushButton::clicked, this, [this] { m_browser.openUrl(m_page); });
    hide();
}

void DeviceCodeView::setCode(const QString &code, const QUrl &verificationPage)
{
    m_code->setText(code);
    m_code->setAccessibleName(code);
    m_page = verificationPage;
    m_open->setToolTip(verificationPage.toDisplayString());
    setVisible(!code.isEmpty());
}

QString DeviceCodeView::code() const
{
    return m_code->text();
}
