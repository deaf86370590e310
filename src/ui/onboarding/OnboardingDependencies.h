#pragma once

#include "ui/common/WindowDependencies.h"

#include <memory>

class AccessibilityTrust;

// What the setup window needs from the application, handed in once by the
// composition root (tests hand in fakes).
struct OnboardingDependencies : WindowDependencies
{
    // Whether the accessibility bus is on, and turning it on; without it the
    // permission step counts as granted (there is nothing to ask for).
    std::shared_ptr<AccessibilityTrust> trust;
};
