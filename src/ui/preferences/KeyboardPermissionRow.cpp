#include "ui/preferences/KeyboardPermissionRow.h"

#include "core/desktop/KeyboardControlPermission.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"

#include <QHBoxLayout>
#include <QPushButton>

KeyboardPermissionRow::KeyboardPermissionRow(KeyboardControlPermission &permission, QWidget *parent)
    : QFrame(parent)
    , m_permission(permission)
    , m_caption(StyledLabel::caption(QString(), this))
    , m_button(new QPushButton(tr("Revoke"), this))
{
    setFrameShape(QFrame::StyledPanel);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(10);
    WindowStyle::makeRoomy(m_button);
    layout->addWidget(m_caption, 1);
    layout->addWidget(m_button, 0, Qt::AlignVCenter);
    m_button->setAccessibleName(m_button->text());
    connect(m_button, &QPushButton::clicked, &m_permission, &KeyboardControlPermission::revoke);
    connect(&m_permission, &KeyboardControlPermission::grantChanged, this,
            &KeyboardPermissionRow::refresh);
    refresh();
}

void KeyboardPermissionRow::refresh()
{
    using Grant = KeyboardControlPermission::Grant;
    switch (m_permission.grant()) {
    case Grant::kept:
        m_caption->setText(tr("Your desktop lets Wrenlark type the copy and paste keys, and keeps "
                              "this permission from one start to the next."));
        break;
    case Grant::untilQuit:
        m_caption->setText(tr("Your desktop lets Wrenlark type the copy and paste keys until "
                              "Wrenlark quits; it asks again after."));
        break;
    case Grant::notGranted:
        m_caption->setText(tr("Wrenlark may not type the copy and paste keys yet: your desktop "
                              "asks the first time it needs them."));
        break;
    }
    m_button->setEnabled(m_permission.grant() != Grant::notGranted);
    m_button->setAccessibleDescription(m_caption->text());
}
