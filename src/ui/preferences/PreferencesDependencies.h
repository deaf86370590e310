#pragma once

#include "ui/common/WindowDependencies.h"

#include <QPointer>
#include <memory>

class GlobalShortcutService;
class LoginItemService;

// What the Settings window needs from the application, handed in once by the
// composition root (tests hand in fakes).
struct PreferencesDependencies : WindowDependencies
{
    // The named global shortcuts; without it the shortcut rows are disabled.
    QPointer<GlobalShortcutService> shortcuts;
    // The desktop's login items; without it "Launch Wrenlark at login" is disabled.
    std::shared_ptr<LoginItemService> loginItems;
};
