#pragma once

#include <QString>

class GlobalShortcutService;
class UserDefaults;

// The first launch gives "toggleWrenlark" its default, once: afterwards
// "keyboard_shortcuts_initialized" is set, so a shortcut the user clears
// stays cleared at every later launch.
namespace FirstRunShortcut {

inline const QString initializedKey = QStringLiteral("keyboard_shortcuts_initialized");
inline const QString toggleDefault = QStringLiteral("Alt+Space");

// A stored value that could not be read is the user's too: the default is
// not written over it.
void apply(GlobalShortcutService &shortcuts, UserDefaults &settings);

} // namespace FirstRunShortcut
