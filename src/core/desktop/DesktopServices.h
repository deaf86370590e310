#pragma once

#include "core/desktop/AccessibilityTrust.h"
#include "core/desktop/PanelWindowSupport.h"
#include "core/desktop/ReplacementService.h"
#include "core/desktop/RunningApplications.h"
#include "core/desktop/SelectionService.h"
#include "core/desktop/TargetAppClassifier.h"
#include "core/desktop/TextClipboard.h"

#include <memory>

// The desktop services the command session stands on, wired once at start-up
// (the platform's real ones, or fakes in tests).
struct DesktopServices
{
    std::shared_ptr<SelectionService> selection;
    std::shared_ptr<ReplacementService> replacement;
    std::shared_ptr<TargetAppClassifier> classifier;
    std::shared_ptr<RunningApplications> applications;
    std::shared_ptr<TextClipboard> clipboard;
    std::shared_ptr<AccessibilityTrust> trust;
    std::shared_ptr<PanelWindowSupport> panelWindow;
};
