#include "ui/common/StyledLabel.h"

#include "ui/common/LiveRegion.h"
#include "ui/common/WindowStyle.h"

#include <QEvent>

StyledLabel::StyledLabel(const QString &text, Role role, QWidget *parent)
    : QLabel(text, parent)
    , m_role(role)
{
    applyRole();
}

void StyledLabel::setRole(Role role)
{
    if (m_role == role)
        return;
    m_role = role;
    applyRole();
}

StyledLabel *StyledLabel::caption(const QString &text, QWidget *parent)
{
    auto *label = new StyledLabel(text, Role::secondary, parent);
    label->setFont(WindowStyle::captionFont(label->font()));
    label->setWordWrap(true);
    return label;
}

StyledLabel *StyledLabel::message(QWidget *parent)
{
    auto *label = new StyledLabel(QString(), Role::secondary, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFont(WindowStyle::captionFont(label->font()));
    label->hide();
    LiveRegion::mark(label);
    return label;
}

void StyledLabel::showMessage(const QString &text, bool isError)
{
    setRole(isError ? Role::error : Role::secondary);
    LiveRegion::show(this, text);
}

void StyledLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !m_applying)
        applyRole();
}

void StyledLabel::applyRole()
{
    m_applying = true;
    // Start from the inherited palette, not from the colour set last time.
    setPalette(QPalette());
    QPalette palette = this->palette();
    switch (m_role) {
    case Role::normal:
        break;
    case Role::secondary:
        palette.setColor(QPalette::WindowText, WindowStyle::secondaryText(palette));
        break;
    case Role::error:
        palette.setColor(QPalette::WindowText, WindowStyle::errorText(palette));
        break;
    case Role::success:
        palette.setColor(QPalette::WindowText, WindowStyle::successText(palette));
        break;
    }
    if (m_role != Role::normal)
        setPalette(palette);
    m_applying = false;
}
