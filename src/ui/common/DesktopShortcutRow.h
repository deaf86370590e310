#pragma once

#include <QFrame>
#include <functional>

class CommandKeybindingService;
class QPushButton;
class StyledLabel;

// Adds, with the user's consent, a shortcut to the desktop's own keyboard
// settings that runs `wrenlark toggle` (GNOME, which lets no application
// register one), shows which shortcut does so, and removes the one it added.
// A shortcut the user made is shown, never changed.
class DesktopShortcutRow : public QFrame
{
    Q_OBJECT

public:
    // `toggleShortcut` gives the key to add ("Alt+Space"), as the user set it.
    DesktopShortcutRow(CommandKeybindingService &keybinding,
                       std::function<QString()> toggleShortcut, QWidget *parent = nullptr);

    QPushButton *button() const { return m_button; }
    StyledLabel *caption() const { return m_caption; }
    StyledLabel *message() const { return m_message; }

    // Reads the desktop's settings again.
    void refresh();
    // The shortcut Wrenlark added follows a newly recorded key.
    void followShortcut(const QString &portableShortcut);

private:
    void toggle();

    CommandKeybindingService &m_keybinding;
    std::function<QString()> m_toggleShortcut;
    StyledLabel *m_caption;
    QPushButton *m_button;
    StyledLabel *m_message;
};
