#include "ui/preferences/CommandsPreferencesView.h"

#include "core/settings/SettingsStore.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int shorthandWidth = 120;

} // namespace

CommandsPreferencesView::CommandsPreferencesView(const PreferencesDependencies &dependencies,
                                                 QWidget *parent)
    : QWidget(parent)
    , m_store(dependencies.makeSettingsStore())
    , m_rowsHost(new QWidget)
    , m_rows(new QVBoxLayout(m_rowsHost))
    , m_scroll(new QScrollArea(this))
    , m_addButton(
          new QPushButton(QIcon::fromTheme(QStringLiteral("list-add")), tr("Add Command"), this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(12);

    auto *title = new QLabel(tr("Type a command shorthand instead of a full instruction."), this);
    title->setFont(WindowStyle::strongFont(title->font()));
    title->setWordWrap(true);
    layout->addWidget(title);
    layout->addWidget(StyledLabel::caption(
        tr("For example, type \"eng\" to send \"translate to English\"."), this));

    auto *headers = new QHBoxLayout;
    headers->setContentsMargins(4, 6, 4, 0);
    auto *shorthandHeader = StyledLabel::caption(tr("Shorthand"), this);
    shorthandHeader->setFixedWidth(shorthandWidth);
    headers->addWidget(shorthandHeader);
    headers->addWidget(StyledLabel::caption(tr("Instruction"), this), 1);
    layout->addLayout(headers);

    m_rows->setContentsMargins(4, 4, 4, 4);
    m_rows->setSpacing(6);
    m_rows->addStretch();
    m_scroll->setWidget(m_rowsHost);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::StyledPanel);
    m_scroll->setBackgroundRole(QPalette::Base);
    m_rowsHost->setBackgroundRole(QPalette::Base);
    m_rowsHost->setAutoFillBackground(true);
    layout->addWidget(m_scroll, 1);

    auto *buttons = new QHBoxLayout;
    m_addButton->setAccessibleName(m_addButton->text());
    WindowStyle::makeRoomy(m_addButton);
    buttons->addWidget(m_addButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(m_addButton, &QPushButton::clicked, this, &CommandsPreferencesView::addCommand);

    reload();
}

CommandsPreferencesView::~CommandsPreferencesView() = default;

void CommandsPreferencesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Another window or the command line may have changed the list meanwhile.
    if (!event->spontaneous())
        reload();
}

void CommandsPreferencesView::reload()
{
    m_commands = m_store->loadCommands();
    rebuildRows();
}

void CommandsPreferencesView::rebuildRows()
{
    qDeleteAll(m_rowWidgets);
    m_rowWidgets.clear();
    for (const UserCommand &command : std::as_const(m_commands)) {
        QWidget *row = makeRow(command);
        m_rows->insertWidget(m_rows->count() - 1, row);
        m_rowWidgets.append(row);
    }
}

QWidget *CommandsPreferencesView::makeRow(const UserCommand &command)
{
    auto *row = new QWidget(m_rowsHost);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    auto *shorthand = new QLineEdit(command.command, row);
    shorthand->setObjectName(QStringLiteral("shorthand"));
    shorthand->setPlaceholderText(tr("Shorthand"));
    shorthand->setAccessibleName(tr("Shorthand"));
    shorthand->setFixedWidth(shorthandWidth);
    auto *instruction = new QLineEdit(command.instruction, row);
    instruction->setObjectName(QStringLiteral("instruction"));
    instruction->setPlaceholderText(tr("Instruction"));
    instruction->setAccessibleName(tr("Instruction"));
    auto *replace = new QCheckBox(tr("Replace at once"), row);
    replace->setObjectName(QStringLiteral("replaceAtOnce"));
    replace->setAccessibleName(replace->text());
    replace->setToolTip(tr("Run with `wrenlark run %1`, write the reply over the selection "
                           "as soon as it is complete")
                            .arg(command.command.isEmpty() ? tr("SHORTHAND") : command.command));
    replace->setChecked(command.replaceAtOnce);
    auto *remove = new QToolButton(row);
    remove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    remove->setText(tr("Remove"));
    remove->setToolTip(tr("Remove this command"));
    remove->setAccessibleName(tr("Remove"));
    remove->setToolButtonStyle(remove->icon().isNull() ? Qt::ToolButtonTextOnly
                                                       : Qt::ToolButtonIconOnly);
    remove->setAutoRaise(true);
    remove->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(shorthand);
    layout->addWidget(instruction, 1);
    layout->addWidget(replace);
    layout->addWidget(remove);

    const QUuid id = command.id;
    const auto changed = [this, id, shorthand, instruction] {
        edited(id, shorthand->text(), instruction->text());
    };
    connect(shorthand, &QLineEdit::textEdited, this, changed);
    connect(instruction, &QLineEdit::textEdited, this, changed);
    connect(replace, &QCheckBox::toggled, this, [this, id](bool on) {
        for (UserCommand &each : m_commands) {
            if (each.id == id)
                each.replaceAtOnce = on;
        }
        store(id);
    });
    connect(remove, &QToolButton::clicked, this, [this, id] { removeCommand(id); });
    return row;
}

void CommandsPreferencesView::addCommand()
{
    m_commands.append(UserCommand{QUuid::createUuid(), QString(), QString(), false});
    store(m_commands.last().id);
    QWidget *row = makeRow(m_commands.last());
    m_rows->insertWidget(m_rows->count() - 1, row);
    m_rowWidgets.append(row);
    shorthandField(int(m_rowWidgets.size()) - 1)->setFocus(Qt::OtherFocusReason);
    m_scroll->ensureWidgetVisible(row);
}

void CommandsPreferencesView::removeCommand(const QUuid &id)
{
    for (qsizetype index = 0; index < m_commands.size(); ++index) {
        if (m_commands[index].id != id)
            continue;
        const UserCommand removed = m_commands.takeAt(index);
        m_store->updateCommands([&removed](QList<UserCommand> &stored) {
            stored.removeIf([&removed](const UserCommand &each) { return each.id == removed.id; });
        });
        m_rowWidgets.takeAt(index)->deleteLater();
        // The keyboard stays in the list: on the next row, else on the add button.
        if (index < m_rowWidgets.size())
            shorthandField(int(index))->setFocus(Qt::OtherFocusReason);
        else
            m_addButton->setFocus(Qt::OtherFocusReason);
        return;
    }
}

void CommandsPreferencesView::edited(const QUuid &id, const QString &shorthand,
                                     const QString &instruction)
{
    for (UserCommand &command : m_commands) {
        if (command.id == id) {
            command.command = shorthand;
            command.instruction = instruction;
            store(id);
            return;
        }
    }
}

void CommandsPreferencesView::store(const QUuid &id)
{
    const auto shown = std::find_if(m_commands.cbegin(), m_commands.cend(),
                                    [&id](const UserCommand &each) { return each.id == id; });
    if (shown == m_commands.cend())
        return;
    m_store->updateCommands([&shown](QList<UserCommand> &stored) {
        for (UserCommand &each : stored) {
            if (each.id == shown->id) {
                each = *shown;
                return;
            }
        }
        stored.append(*shown);
    });
}

QLineEdit *CommandsPreferencesView::shorthandField(int index) const
{
    return m_rowWidgets.value(index)
               ? m_rowWidgets[index]->findChild<QLineEdit *>(QStringLiteral("shorthand"))
               : nullptr;
}

QLineEdit *CommandsPreferencesView::instructionField(int index) const
{
    return m_rowWidgets.value(index)
               ? m_rowWidgets[index]->findChild<QLineEdit *>(QStringLiteral("instruction"))
               : nullptr;
}
