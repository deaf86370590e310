#pragma once

#include "ui/preferences/PreferencesDependencies.h"

#include <QHash>
#include <QWidget>
#include <memory>

class DesktopShortcutRow;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QPushButton;
class SettingsStore;
class ShortcutRecorder;
class StyledLabel;

// The General tab: launch at login, the global shortcuts (and, on GNOME,
// adding one to the desktop's own keyboard shortcuts), the version.
class GeneralPreferencesView : public QWidget
{
    Q_OBJECT

public:
    explicit GeneralPreferencesView(const PreferencesDependencies &dependencies,
                                    QWidget *parent = nullptr);
    ~GeneralPreferencesView() override;

    QCheckBox *launchAtLoginSwitch() const { return m_launchAtLogin; }
    QComboBox *replyLanguageBox() const { return m_replyLanguage; }
    QCheckBox *historySwitch() const { return m_keepHistory; }
    QPushButton *clearHistoryButton() const { return m_clearHistory; }
    // The recorder, its clear button and its message line for a shortcut name.
    ShortcutRecorder *recorder(const QString &name) const { return m_recorders.value(name); }
    QPushButton *clearButton(const QString &name) const { return m_clearButtons.value(name); }
    StyledLabel *shortcutMessage(const QString &name) const { return m_messages.value(name); }
    // The row that adds or removes the desktop's own shortcut running
    // `wrenlark toggle`; null where the desktop has none.
    DesktopShortcutRow *desktopShortcut() const { return m_desktopShortcut; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildRepliesGroup();
    void addHistoryRow(QGridLayout *layout, QWidget *group);
    void storeReplyLanguage();
    QWidget *buildShortcutRow(const QString &name, const QString &title, const QString &detail);
    void reload();
    void launchAtLoginToggled(bool enabled);
    void record(const QString &name, const std::optional<QString> &portableText);
    void showShortcut(const QString &name);
    QString toggleShortcutText() const;

    PreferencesDependencies m_dependencies;
    std::unique_ptr<SettingsStore> m_store;
    QCheckBox *m_launchAtLogin;
    QComboBox *m_replyLanguage = nullptr;
    QCheckBox *m_keepHistory = nullptr;
    QPushButton *m_clearHistory = nullptr;
    QHash<QString, ShortcutRecorder *> m_recorders;
    QHash<QString, QPushButton *> m_clearButtons;
    QHash<QString, StyledLabel *> m_messages;
    DesktopShortcutRow *m_desktopShortcut = nullptr;
};
