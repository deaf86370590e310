#pragma once

#include "core/settings/UserCommand.h"
#include "ui/preferences/PreferencesDependencies.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class GlobalShortcutService;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class SettingsStore;
class ShortcutRecorder;
class StyledLabel;

// The Commands tab: the saved shorthands and their instructions, one editable
// row each, with a global shortcut that runs the command. Every change (an
// edit in a row, an added or removed row) is stored at once, as a change of
// that one command to the list as stored then (what another process or an
// editor changed meanwhile stays), and the shortcuts of the stored list are
// registered.
class CommandsPreferencesView : public QWidget
{
    Q_OBJECT

public:
    explicit CommandsPreferencesView(const PreferencesDependencies &dependencies,
                                     QWidget *parent = nullptr);
    ~CommandsPreferencesView() override;

    const QList<UserCommand> &commands() const { return m_commands; }
    // Reads the stored list again and rebuilds the rows.
    void reload();
    void addCommand();
    void removeCommand(const QUuid &id);

    QPushButton *addButton() const { return m_addButton; }
    // The fields of row `index`: shorthand and instruction.
    QLineEdit *shorthandField(int index) const;
    QLineEdit *instructionField(int index) const;
    ShortcutRecorder *shortcutRecorder(int index) const;
    // What row `id` says about its shortcut (refused, or why not usable).
    StyledLabel *shortcutMessage(const QUuid &id) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuildRows();
    QWidget *makeRow(const UserCommand &command);
    QHBoxLayout *makeShortcutLine(const UserCommand &command, QWidget *row);
    void edited(const QUuid &id, const QString &shorthand, const QString &instruction);
    void setShortcut(const QUuid &id, const std::optional<QString> &text);
    void showShortcutState(const QUuid &id);
    // Stores the command of this id as the rows show it, in its place, or
    // appended when the stored list no longer has it.
    void store(const QUuid &id);
    void registerShortcuts();
    qsizetype indexOf(const QUuid &id) const;
    UserCommand *find(const QUuid &id);

    std::unique_ptr<SettingsStore> m_store;
    QPointer<GlobalShortcutService> m_shortcuts;
    QList<UserCommand> m_commands;
    QWidget *m_rowsHost;
    QVBoxLayout *m_rows;
    QScrollArea *m_scroll;
    QPushButton *m_addButton;
    QList<QWidget *> m_rowWidgets;
};
