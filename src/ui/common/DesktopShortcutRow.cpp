#include "ui/common/DesktopShortcutRow.h"

#include "core/desktop/CommandKeybindingService.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"

#include <QGridLayout>
#include <QPushButton>

DesktopShortcutRow::DesktopShortcutRow(CommandKeybindingService &keybinding,
                                       std::function<QString()> toggleShortcut, QWidget *parent)
    : QFrame(parent)
    , m_keybinding(keybinding)
    , m_toggleShortcut(std::move(toggleShortcut))
    , m_caption(StyledLabel::caption(QString(), this))
    , m_button(new QPushButton(this))
    , m_message(StyledLabel::message(this))
{
    setFrameShape(QFrame::StyledPanel);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setHorizontalSpacing(10);
    layout->setVerticalSpacing(4);
    WindowStyle::makeRoomy(m_button);
    layout->addWidget(m_caption, 0, 0);
    layout->addWidget(m_button, 0, 1, Qt::AlignVCenter);
    layout->addWidget(m_message, 1, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    connect(m_button, &QPushButton::clicked, this, &DesktopShortcutRow::toggle);
    refresh();
}

void DesktopShortcutRow::refresh()
{
    const std::optional<QString> installed = m_keybinding.installedBinding();
    const bool own = installed && m_keybinding.isOwnBinding();
    const std::optional<QString> taken =
        installed ? std::nullopt : m_keybinding.desktopUseOf(m_toggleShortcut());
    if (taken)
        m_caption->setText(tr("GNOME lets no application register a global shortcut, and it uses "
                              "%1 itself (%2). Choose another shortcut for Wrenlark, then add it "
                              "to GNOME's keyboard shortcuts.")
                               .arg(m_toggleShortcut(), *taken));
    else if (!installed)
        m_caption->setText(
            tr("GNOME lets no application register a global shortcut. Wrenlark can add %1 to "
               "GNOME's keyboard shortcuts, running `wrenlark toggle`.")
                .arg(m_toggleShortcut()));
    else if (own)
        m_caption->setText(tr("GNOME's keyboard shortcuts open Wrenlark with %1.").arg(*installed));
    else
        m_caption->setText(
            tr("A shortcut in GNOME's keyboard settings already runs `wrenlark toggle` (%1).")
                .arg(*installed));
    m_button->setText(own ? tr("Remove from GNOME Shortcuts") : tr("Add to GNOME Shortcuts"));
    m_button->setAccessibleName(m_button->text());
    m_button->setAccessibleDescription(m_caption->text());
    m_button->setVisible(!installed || own);
}

void DesktopShortcutRow::followShortcut(const QString &portableShortcut)
{
    if (m_keybinding.isOwnBinding()) {
        QString error;
        m_message->showMessage(m_keybinding.install(portableShortcut, &error) ? QString() : error,
                               true);
    }
    refresh();
}

void DesktopShortcutRow::toggle()
{
    QString error;
    const bool done = m_keybinding.isOwnBinding()
                          ? m_keybinding.remove(&error)
                          : m_keybinding.install(m_toggleShortcut(), &error);
    m_message->showMessage(done ? QString() : error, true);
    refresh();
}
