#include "ui/onboarding/OnboardingStep.h"

QString analyticsName(OnboardingStep step)
{
    switch (step) {
    case OnboardingStep::intro:
        return QStringLiteral("intro");
    case OnboardingStep::permissions:
        return QStringLiteral("permissions");
    case OnboardingStep::providers:
        return QStringLiteral("providers");
    }
    return {};
}
