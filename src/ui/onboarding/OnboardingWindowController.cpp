#include "ui/onboarding/OnboardingWindowController.h"

#include "core/analytics/AppAnalytics.h"
#include "core/settings/SettingsStore.h"
#include "ui/common/WindowPlacement.h"
#include "ui/onboarding/OnboardingRootView.h"
#include "ui/onboarding/OnboardingWindow.h"

OnboardingWindowController::OnboardingWindowController(const OnboardingDependencies &dependencies)
    : m_dependencies(dependencies)
{
    m_settingsStore = m_dependencies.makeSettingsStore();
}

OnboardingWindowController::~OnboardingWindowController()
{
    delete m_window;
}

OnboardingWindow *OnboardingWindowController::ensureWindow()
{
    if (!m_window) {
        m_window = new OnboardingWindow(m_dependencies);
        m_window->resize(preferredContentSize);
        connect(m_window->rootView(), &OnboardingRootView::completionRequested, this,
                &OnboardingWindowController::completeOnboarding);
    }
    return m_window;
}

void OnboardingWindowController::centerWindowIfNeeded()
{
    if (m_hasCentered)
        return;
    m_hasCentered = true;
    WindowPlacement::centerOnScreen(m_window, preferredContentSize);
}

void OnboardingWindowController::show()
{
    ensureWindow();
    centerWindowIfNeeded();
    m_dependencies.analytics->signal(QStringLiteral("Onboarding.shown"));
    WindowPlacement::bringToFront(m_window);
}

bool OnboardingWindowController::isVisible() const
{
    return m_window && m_window->isVisible();
}

void OnboardingWindowController::completeOnboarding()
{
    m_settingsStore->setDidCompleteOnboarding(true);
    m_dependencies.analytics->signal(QStringLiteral("Onboarding.completed"));
    Q_EMIT completed();
    if (m_window)
        m_window->close();
}

QWidget *OnboardingWindowController::window()
{
    return ensureWindow();
}

OnboardingRootView *OnboardingWindowController::rootView()
{
    return ensureWindow()->rootView();
}
