#pragma once

#include <QString>
#include <QStringList>

class CommandKeybindingService;
class GlobalShortcutService;
class UserDefaults;

// The first launch gives "toggleWrenlark" its default, once: afterwards
// "keyboard_shortcuts_initialized" is set, so a shortcut the user clears
// stays cleared at every later launch.
namespace FirstRunShortcut {

inline const QString toggleDefault = QStringLiteral("Alt+Space");
// Where the desktop keeps Alt+Space for itself (GNOME's window menu,
// Plasma's KRunner), the first of these it leaves free.
inline const QStringList toggleAlternatives = {QStringLiteral("Ctrl+Alt+Space"),
                                               QStringLiteral("Super+Alt+Space")};

// The default for this desktop: Alt+Space, unless `desktopKeys` (GNOME's
// keybindings) or `shortcuts` (the method shortcuts take, such as KDE's
// shortcut service) says the desktop's own action holds it.
QString toggleDefaultFor(const CommandKeybindingService *desktopKeys,
                         const GlobalShortcutService *shortcuts = nullptr);

// A stored value that could not be read is the user's too: the default is
// not written over it.
void apply(GlobalShortcutService &shortcuts, UserDefaults &settings,
           const CommandKeybindingService *desktopKeys = nullptr);

} // namespace FirstRunShortcut
