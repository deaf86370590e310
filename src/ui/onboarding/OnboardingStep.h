#pragma once

#include <QString>

// The setup window's steps, in order.
enum class OnboardingStep { intro = 0, permissions = 1, providers = 2 };

inline constexpr int onboardingStepCount = 3;

// "intro", "permissions", "providers"
QString analyticsName(OnboardingStep step);
