#pragma once

#include <QString>
#include <Qt>
#include <optional>

// One global shortcut as the desktop sees it: a key plus modifiers, with the
// key's X11 keysym. Made from the portable text settings keep ("Alt+Space").
class ShortcutKey
{
public:
    // Nothing, with the reason in `problem`, when the text names no single
    // usable combination. A plain key without Ctrl, Alt or Super is refused
    // (it would be taken from every application) unless it is a function
    // key, Print or Pause.
    static std::optional<ShortcutKey> fromPortableText(const QString &text,
                                                       QString *problem = nullptr);

    // The canonical portable text ("Alt+Space").
    QString portableText() const;
    // The freedesktop shortcuts format the GlobalShortcuts portal reads:
    // modifiers CTRL, ALT, SHIFT, LOGO and an xkbcommon keysym name
    // ("ALT+space").
    QString freedesktopTrigger() const;
    // The GTK accelerator format GNOME's keybindings are kept in
    // ("<Alt>space").
    QString gtkAccelerator() const;

    Qt::Key key() const { return m_key; }
    Qt::KeyboardModifiers modifiers() const { return m_modifiers; }
    quint32 keysym() const { return m_keysym; }

    bool operator==(const ShortcutKey &other) const = default;

private:
    ShortcutKey(Qt::Key key, Qt::KeyboardModifiers modifiers, quint32 keysym);

    Qt::Key m_key;
    Qt::KeyboardModifiers m_modifiers;
    quint32 m_keysym;
};
