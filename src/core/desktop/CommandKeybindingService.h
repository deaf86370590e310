#pragma once

#include <QString>
#include <optional>

// A shortcut in the desktop's own keyboard settings that runs `wrenlark
// toggle`: the way to a global shortcut where the desktop lets no application
// register one (GNOME before version 48). Added only when the user asks for
// it, and removable again.
class CommandKeybindingService
{
public:
    virtual ~CommandKeybindingService() = default;

    // Whether this desktop's keyboard settings can hold such a shortcut.
    virtual bool isAvailable() const = 0;
    // The key of a shortcut there that runs the command (the one Wrenlark
    // added, or one the user made) as the user reads it ("Alt+Space");
    // nothing when none does.
    virtual std::optional<QString> installedBinding() const = 0;
    // Whether the shortcut found is the one Wrenlark added (which it may
    // change and remove).
    virtual bool isOwnBinding() const = 0;
    // What the desktop itself does with the key of `portableShortcut`
    // ("Activate the window menu"); its own action wins over such a
    // shortcut, so that key is refused. Nothing when the key is free.
    virtual std::optional<QString> desktopUseOf(const QString &portableShortcut) const = 0;
    // Adds the shortcut with the key of `portableShortcut` ("Alt+Space"), or
    // gives the one added before that key. False, with the reason in
    // `error`, when it could not.
    virtual bool install(const QString &portableShortcut, QString *error) = 0;
    // Removes the shortcut Wrenlark added, never one the user made.
    virtual bool remove(QString *error) = 0;
};
