#pragma once

#include "core/desktop/DesktopNotices.h"
#include "ui/common/WindowDependencies.h"

#include <QPointer>
#include <memory>

class AccessibilityTrust;
class CommandKeybindingService;
class GlobalShortcutService;

// What the setup window needs from the application, handed in once by the
// composition root (tests hand in fakes).
struct OnboardingDependencies : WindowDependencies
{
    // Whether the accessibility bus is on, and turning it on; without it the
    // permission step counts as granted (there is nothing to ask for).
    std::shared_ptr<AccessibilityTrust> trust;
    // Where the desktop's own keyboard settings can take the shortcut that
    // opens Wrenlark (GNOME), the permission step offers to add it.
    std::shared_ptr<CommandKeybindingService> commandKeybinding;
    // The key that shortcut gets is the one set for showing Wrenlark.
    QPointer<GlobalShortcutService> shortcuts;
    // What this desktop lacks, said once on the permission step.
    DesktopNotices desktopNotices;
};
