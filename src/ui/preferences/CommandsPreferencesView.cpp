#include "ui/preferences/CommandsPreferencesView.h"

#include "core/desktop/GlobalShortcutService.h"
#include "core/settings/SettingsStore.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"
#include "ui/preferences/ShortcutRecorder.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int shorthandWidth = 120;

} // namespace

CommandsPreferencesView::CommandsPreferencesView(const PreferencesDependencies &dependencies,
                                                 QWidget *parent)
    : QWidget(parent)
    , m_store(dependencies.makeSettingsStore())
    , m_shortcuts(dependencies.shortcuts)
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
    if (m_shortcuts)
        connect(m_shortcuts, &GlobalShortcutService::shortcutChanged, this,
                [this](const QString &name) {
                    if (const QUuid id = GlobalShortcutService::commandId(name); !id.isNull())
                        showShortcutState(id);
                });

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
        showShortcutState(command.id);
    }
}

QWidget *CommandsPreferencesView::makeRow(const UserCommand &command)
{
    auto *row = new QWidget(m_rowsHost);
    auto *layout = new QGridLayout(row);
    layout->setContentsMargins(0, 0, 0, 6);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(4);

    auto *shorthand = new QLineEdit(command.command, row);
    shorthand->setObjectName(QStringLiteral("shorthand"));
    shorthand->setPlaceholderText(tr("Shorthand"));
    shorthand->setAccessibleName(tr("Shorthand"));
    shorthand->setFixedWidth(shorthandWidth);
    auto *instruction = new QLineEdit(command.instruction, row);
    instruction->setObjectName(QStringLiteral("instruction"));
    instruction->setPlaceholderText(tr("Instruction"));
    instruction->setAccessibleName(tr("Instruction"));
    auto *remove = new QToolButton(row);
    remove->setIcon(QIcon::fromTheme(QStringLiteral("list-remove")));
    remove->setText(tr("Remove"));
    remove->setToolTip(tr("Remove this command"));
    remove->setAccessibleName(tr("Remove"));
    remove->setToolButtonStyle(remove->icon().isNull() ? Qt::ToolButtonTextOnly
                                                       : Qt::ToolButtonIconOnly);
    remove->setAutoRaise(true);
    remove->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(shorthand, 0, 0);
    layout->addWidget(instruction, 0, 1);
    layout->addWidget(remove, 0, 2);
    layout->addLayout(makeShortcutLine(command, row), 1, 0, 1, 2);
    auto *message = StyledLabel::message(row);
    message->setObjectName(QStringLiteral("shortcutMessage"));
    layout->addWidget(message, 2, 0, 1, 2);
    layout->setColumnStretch(1, 1);

    const QUuid id = command.id;
    const auto changed = [this, id, shorthand, instruction] {
        edited(id, shorthand->text(), instruction->text());
    };
    connect(shorthand, &QLineEdit::textEdited, this, changed);
    connect(instruction, &QLineEdit::textEdited, this, changed);
    connect(remove, &QToolButton::clicked, this, [this, id] { removeCommand(id); });
    return row;
}

// The command's global shortcut, and whether its reply is written at once.
QHBoxLayout *CommandsPreferencesView::makeShortcutLine(const UserCommand &command, QWidget *row)
{
    auto *line = new QHBoxLayout;
    line->setSpacing(8);
    auto *label = StyledLabel::caption(tr("Shortcut"), row);
    auto *recorder = new ShortcutRecorder(row);
    recorder->setObjectName(QStringLiteral("shortcut"));
    recorder->setAccessibleName(tr("Shortcut"));
    // Its field, which holds the chord a screen reader reads, answers to the same name.
    if (auto *field = recorder->findChild<QLineEdit *>())
        field->setAccessibleName(tr("Shortcut"));
    recorder->setAccessibleDescription(
        tr("Opens the command bar over the selection with this command sent"));
    recorder->setFixedWidth(150);
    recorder->setEnabled(!m_shortcuts.isNull());
    recorder->setPortableText(command.shortcut.isEmpty() ? std::nullopt
                                                         : std::optional(command.shortcut));
    label->setBuddy(recorder);
    auto *clear = new QPushButton(tr("Clear"), row);
    clear->setObjectName(QStringLiteral("clearShortcut"));
    clear->setAccessibleName(tr("Clear"));
    clear->setAccessibleDescription(tr("Remove the shortcut of this command"));
    clear->setEnabled(!m_shortcuts.isNull() && !command.shortcut.isEmpty());
    auto *replace = new QCheckBox(tr("Replace at once"), row);
    replace->setObjectName(QStringLiteral("replaceAtOnce"));
    replace->setAccessibleName(replace->text());
    replace->setToolTip(tr("Run by its shortcut or with `wrenlark run %1`, write the reply over "
                           "the selection as soon as it is complete")
                            .arg(command.command.isEmpty() ? tr("SHORTHAND") : command.command));
    replace->setChecked(command.replaceAtOnce);
    line->addWidget(label);
    line->addWidget(recorder);
    line->addWidget(clear);
    line->addSpacing(8);
    line->addWidget(replace);
    line->addStretch();

    const QUuid id = command.id;
    connect(recorder, &ShortcutRecorder::shortcutRecorded, this,
            [this, id](const std::optional<QString> &text) { setShortcut(id, text); });
    connect(recorder, &ShortcutRecorder::refused, this, [this, id](const QString &reason) {
        if (StyledLabel *message = shortcutMessage(id))
            message->showMessage(reason, true);
    });
    connect(clear, &QPushButton::clicked, this, [this, id] { setShortcut(id, std::nullopt); });
    connect(replace, &QCheckBox::toggled, this, [this, id](bool on) {
        if (UserCommand *each = find(id)) {
            each->replaceAtOnce = on;
            store(id);
        }
    });
    return line;
}

void CommandsPreferencesView::setShortcut(const QUuid &id, const std::optional<QString> &text)
{
    UserCommand *command = find(id);
    if (!command)
        return;
    command->shortcut = text.value_or(QString());
    store(id);
    showShortcutState(id);
}

void CommandsPreferencesView::showShortcutState(const QUuid &id)
{
    const qsizetype index = indexOf(id);
    if (index < 0 || !m_shortcuts)
        return;
    QWidget *row = m_rowWidgets.value(index);
    const UserCommand &command = m_commands[index];
    if (auto *recorder = row->findChild<ShortcutRecorder *>(QStringLiteral("shortcut")))
        recorder->setPortableText(command.shortcut.isEmpty() ? std::nullopt
                                                             : std::optional(command.shortcut));
    if (auto *clear = row->findChild<QPushButton *>(QStringLiteral("clearShortcut")))
        clear->setEnabled(!command.shortcut.isEmpty());
    shortcutMessage(id)->showMessage(
        m_shortcuts->registrationError(GlobalShortcutService::commandName(id)), true);
}

void CommandsPreferencesView::addCommand()
{
    m_commands.append(UserCommand{QUuid::createUuid(), QString(), QString(), false, {}});
    store(m_commands.last().id);
    QWidget *row = makeRow(m_commands.last());
    m_rows->insertWidget(m_rows->count() - 1, row);
    m_rowWidgets.append(row);
    shorthandField(int(m_rowWidgets.size()) - 1)->setFocus(Qt::OtherFocusReason);
    m_scroll->ensureWidgetVisible(row);
}

void CommandsPreferencesView::removeCommand(const QUuid &id)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    m_commands.removeAt(index);
    m_rowWidgets.takeAt(index)->deleteLater();
    m_store->updateCommands([&id](QList<UserCommand> &stored) {
        stored.removeIf([&id](const UserCommand &each) { return each.id == id; });
    });
    registerShortcuts();
    // The keyboard stays in the list: on the next row, else on the add button.
    if (index < m_rowWidgets.size())
        shorthandField(int(index))->setFocus(Qt::OtherFocusReason);
    else
        m_addButton->setFocus(Qt::OtherFocusReason);
}

void CommandsPreferencesView::edited(const QUuid &id, const QString &shorthand,
                                     const QString &instruction)
{
    if (UserCommand *command = find(id)) {
        command->command = shorthand;
        command->instruction = instruction;
        store(id);
    }
}

void CommandsPreferencesView::store(const QUuid &id)
{
    const UserCommand *shown = find(id);
    if (!shown)
        return;
    m_store->updateCommands([shown](QList<UserCommand> &stored) {
        for (UserCommand &each : stored) {
            if (each.id == shown->id) {
                each = *shown;
                return;
            }
        }
        stored.append(*shown);
    });
    registerShortcuts();
}

void CommandsPreferencesView::registerShortcuts()
{
    if (m_shortcuts)
        m_shortcuts->setCommandShortcuts(UserCommand::shortcutsOf(m_store->loadCommands()));
}

qsizetype CommandsPreferencesView::indexOf(const QUuid &id) const
{
    for (qsizetype index = 0; index < m_commands.size(); ++index) {
        if (m_commands[index].id == id)
            return index;
    }
    return -1;
}

UserCommand *CommandsPreferencesView::find(const QUuid &id)
{
    const qsizetype index = indexOf(id);
    return index < 0 ? nullptr : &m_commands[index];
}

StyledLabel *CommandsPreferencesView::shortcutMessage(const QUuid &id) const
{
    QWidget *row = m_rowWidgets.value(indexOf(id));
    return row ? row->findChild<StyledLabel *>(QStringLiteral("shortcutMessage")) : nullptr;
}

ShortcutRecorder *CommandsPreferencesView::shortcutRecorder(int index) const
{
    return m_rowWidgets.value(index)
               ? m_rowWidgets[index]->findChild<ShortcutRecorder *>(QStringLiteral("shortcut"))
               : nullptr;
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
