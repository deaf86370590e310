#pragma once

#include "core/desktop/AccessibilityTrust.h"
#include "core/desktop/CommandKeybindingService.h"
#include "core/desktop/DesktopNotices.h"
#include "core/desktop/GlobalShortcutService.h"
#include "core/desktop/KeyboardControlPermission.h"
#include "core/desktop/LoginItemService.h"
#include "core/desktop/PanelWindowSupport.h"
#include "core/desktop/ReplacementService.h"
#include "core/desktop/RunningApplications.h"
#include "core/desktop/ScreenCaptureService.h"
#include "core/desktop/SelectionService.h"
#include "core/desktop/TargetAppClassifier.h"
#include "core/desktop/TextClipboard.h"
#include "core/desktop/UrlOpener.h"

#include <memory>

// The desktop services the application stands on, made once at start-up by
// one factory (the platform's real ones, or fakes in tests) and handed down.
struct DesktopServices
{
    std::shared_ptr<SelectionService> selection;
    std::shared_ptr<ReplacementService> replacement;
    std::shared_ptr<TargetAppClassifier> classifier;
    std::shared_ptr<RunningApplications> applications;
    std::shared_ptr<TextClipboard> clipboard;
    std::shared_ptr<AccessibilityTrust> trust;
    std::shared_ptr<ScreenCaptureService> capture;
    std::shared_ptr<LoginItemService> loginItems;
    std::shared_ptr<UrlOpener> urlOpener;
    // Only the resident application registers global shortcuts; null in
    // the command line.
    std::shared_ptr<GlobalShortcutService> shortcuts;
    // A shortcut in the desktop's own settings that runs `wrenlark toggle`,
    // where the desktop has such settings (GNOME); null elsewhere.
    std::shared_ptr<CommandKeybindingService> commandKeybinding;
    // The desktop's permission to type keys, where it asks for one (the
    // resident application's); null elsewhere.
    std::shared_ptr<KeyboardControlPermission> keyboardPermission;
    std::shared_ptr<PanelWindowSupport> panelWindow;
    // What the user is told this desktop lacks (the resident application's).
    DesktopNotices notices;
};
