#pragma once

#include "ui/common/WindowDependencies.h"

#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

class CommandKeybindingService;
class GlobalShortcutService;
class KeyboardControlPermission;
class InstructionHistory;
class LoginItemService;

// What the Settings window needs from the application, handed in once by the
// composition root (tests hand in fakes).
struct PreferencesDependencies : WindowDependencies
{
    // The named global shortcuts; without it the shortcut rows are disabled.
    QPointer<GlobalShortcutService> shortcuts;
    // The desktop's login items; without it "Launch Wrenlark at login" is disabled.
    std::shared_ptr<LoginItemService> loginItems;
    // A shortcut in the desktop's own keyboard settings running `wrenlark
    // toggle` (GNOME); without it the row that adds one is not shown.
    std::shared_ptr<CommandKeybindingService> commandKeybinding;
    // The desktop's permission to type keys, where it asks for one; without
    // it the row that shows and revokes it is not shown.
    std::shared_ptr<KeyboardControlPermission> keyboardPermission;
    // What this desktop keeps Wrenlark from doing, one sentence each, shown
    // under "This Desktop" when there is any.
    QStringList desktopNotices;
    // Ends this run and starts Wrenlark again with Settings open: providers
    // added to the catalog are read at the start. Unset, nothing restarts.
    std::function<void()> restartApplication;
    // The instructions the bar recalls; without it the row that clears them
    // is not shown.
    InstructionHistory *instructionHistory = nullptr;
};
