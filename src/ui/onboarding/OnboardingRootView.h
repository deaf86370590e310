#pragma once

#include "ui/onboarding/OnboardingDependencies.h"
#include "ui/onboarding/OnboardingStep.h"

#include <QWidget>

class AccessibilityPermissionMonitor;
class IntroStepView;
class OnboardingProviderSetupModel;
class PermissionsStepView;
class ProvidersStepView;
class QLabel;
class QPushButton;
class QStackedWidget;
class StepIndicator;

// The setup window's content: the three steps, the step indicator and the
// control bar with Back, "Step N of 3" and Next (Complete on the last step).
// Forward is allowed from the intro always, from the permission step once
// permission is granted, and from the provider step once the chosen provider
// is usable; forward from the last step completes the setup.
class OnboardingRootView : public QWidget
{
    Q_OBJECT

public:
    static constexpr int controlSlotWidth = 120;
    static constexpr int controlBarHeight = 68;

    explicit OnboardingRootView(const OnboardingDependencies &dependencies,
                                QWidget *parent = nullptr);
    ~OnboardingRootView() override;

    OnboardingStep step() const { return m_step; }
    bool canMoveForward() const;
    void goForward();
    void goBack();

    AccessibilityPermissionMonitor *permissionMonitor() const { return m_permissionMonitor; }
    OnboardingProviderSetupModel *providerSetup() const { return m_providerSetup; }
    PermissionsStepView *permissionsView() const { return m_permissions; }
    ProvidersStepView *providersView() const { return m_providers; }
    QPushButton *backButton() const { return m_back; }
    QPushButton *forwardButton() const { return m_forward; }
    QLabel *stepLabel() const { return m_stepLabel; }
    StepIndicator *stepIndicator() const { return m_indicator; }

Q_SIGNALS:
    // Forward on the last step.
    void completionRequested();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *buildControlBar();
    void setStep(OnboardingStep step);
    void updateControls();
    void sendStepViewed();

    OnboardingDependencies m_dependencies;
    OnboardingStep m_step = OnboardingStep::intro;
    AccessibilityPermissionMonitor *m_permissionMonitor;
    OnboardingProviderSetupModel *m_providerSetup;
    QStackedWidget *m_pages;
    IntroStepView *m_intro;
    PermissionsStepView *m_permissions;
    ProvidersStepView *m_providers;
    QPushButton *m_back;
    QLabel *m_stepLabel;
    StepIndicator *m_indicator;
    QPushButton *m_forward;
};
