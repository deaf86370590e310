#include "ui/onboarding/OnboardingRootView.h"

#include "core/analytics/AppAnalytics.h"
#include "core/settings/SettingsStore.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/WindowStyle.h"
#include "ui/onboarding/AccessibilityPermissionMonitor.h"
#include "ui/onboarding/IntroStepView.h"
#include "ui/onboarding/OnboardingProviderSetupModel.h"
#include "ui/onboarding/PermissionsStepView.h"
#include "ui/onboarding/ProvidersStepView.h"
#include "ui/onboarding/StepIndicator.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

OnboardingRootView::OnboardingRootView(const OnboardingDependencies &dependencies, QWidget *parent)
    : QWidget(parent)
    , m_dependencies(dependencies)
    , m_permissionMonitor(
          new AccessibilityPermissionMonitor(dependencies.trust, *dependencies.analytics, this))
    , m_providerSetup(new OnboardingProviderSetupModel(dependencies, this))
    , m_pages(new QStackedWidget(this))
    , m_intro(new IntroStepView(m_pages))
    , m_permissions(new PermissionsStepView(*m_permissionMonitor, dependencies, m_pages))
    , m_providers(new ProvidersStepView(*m_providerSetup, m_pages))
{
    m_pages->addWidget(m_intro);
    m_pages->addWidget(m_permissions);
    m_pages->addWidget(m_providers);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pages, 1);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    layout->addWidget(buildControlBar());

    connect(m_permissionMonitor, &AccessibilityPermissionMonitor::changed, this,
            &OnboardingRootView::updateControls);
    connect(m_permissionMonitor, &AccessibilityPermissionMonitor::granted, this, [this] {
        m_dependencies.analytics->signal(QStringLiteral("Accessibility.permissionGranted"));
    });
    connect(m_providerSetup, &OnboardingProviderSetupModel::changed, this,
            &OnboardingRootView::updateControls);
    updateControls();
}

OnboardingRootView::~OnboardingRootView() = default;

QWidget *OnboardingRootView::buildControlBar()
{
    auto *bar = new QWidget(this);
    bar->setFixedHeight(controlBarHeight);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(20, 0, 20, 0);

    m_back = new QPushButton(tr("Back"), bar);
    m_back->setAccessibleName(m_back->text());
    m_forward = new QPushButton(bar);
    m_forward->setDefault(true);
    for (QPushButton *button : {m_back, m_forward}) {
        WindowStyle::makeRoomy(button);
        button->setFixedWidth(controlSlotWidth);
    }
    // The slots keep their width when Back is hidden, so the centre stays put.
    auto *backSlot = new QWidget(bar);
    backSlot->setFixedWidth(controlSlotWidth);
    auto *backLayout = new QHBoxLayout(backSlot);
    backLayout->setContentsMargins(0, 0, 0, 0);
    backLayout->addWidget(m_back);

    auto *centre = new QVBoxLayout;
    centre->setSpacing(6);
    centre->addStretch();
    m_indicator = new StepIndicator(onboardingStepCount, bar);
    centre->addWidget(m_indicator, 0, Qt::AlignHCenter);
    m_stepLabel = StyledLabel::caption(QString(), bar);
    m_stepLabel->setAlignment(Qt::AlignHCenter);
    centre->addWidget(m_stepLabel);
    centre->addStretch();

    layout->addWidget(backSlot);
    layout->addStretch();
    layout->addLayout(centre);
    layout->addStretch();
    layout->addWidget(m_forward);

    connect(m_back, &QPushButton::clicked, this, &OnboardingRootView::goBack);
    connect(m_forward, &QPushButton::clicked, this, &OnboardingRootView::goForward);
    return bar;
}

void OnboardingRootView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    m_permissionMonitor->refresh();
    m_providerSetup->reload();
    sendStepViewed();
}

bool OnboardingRootView::canMoveForward() const
{
    switch (m_step) {
    case OnboardingStep::intro:
        return true;
    case OnboardingStep::permissions:
        return m_permissionMonitor->isGranted();
    case OnboardingStep::providers:
        return m_providerSetup->hasValidConfig(*m_providerSetup->selectedProvider());
    }
    return false;
}

void OnboardingRootView::goForward()
{
    if (!canMoveForward())
        return;
    m_dependencies.analytics->signal(QStringLiteral("Onboarding.stepCompleted"),
                                     {{QStringLiteral("step"), analyticsName(m_step)}});
    if (m_step == OnboardingStep::providers) {
        Q_EMIT completionRequested();
        return;
    }
    setStep(OnboardingStep(int(m_step) + 1));
}

void OnboardingRootView::goBack()
{
    if (m_step == OnboardingStep::intro)
        return;
    setStep(OnboardingStep(int(m_step) - 1));
}

void OnboardingRootView::setStep(OnboardingStep step)
{
    if (step == m_step)
        return;
    m_step = step;
    m_pages->setCurrentIndex(int(step));
    updateControls();
    sendStepViewed();
    // The keyboard lands on what the step is about.
    QWidget *focus = m_forward;
    if (step == OnboardingStep::permissions && !m_permissionMonitor->isGranted())
        focus = m_permissions->grantButton();
    else if (step == OnboardingStep::providers)
        focus = m_providers->primaryControl();
    if (focus && focus->isEnabled())
        focus->setFocus(Qt::OtherFocusReason);
}

void OnboardingRootView::sendStepViewed()
{
    m_dependencies.analytics->signal(QStringLiteral("Onboarding.stepViewed"),
                                     {{QStringLiteral("step"), analyticsName(m_step)}});
}

void OnboardingRootView::updateControls()
{
    const int index = int(m_step);
    m_back->setVisible(m_step != OnboardingStep::intro);
    m_stepLabel->setText(tr("Step %1 of %2").arg(index + 1).arg(onboardingStepCount));
    m_indicator->setCurrentStep(index);
    m_forward->setText(m_step == OnboardingStep::providers ? tr("Complete") : tr("Next"));
    m_forward->setAccessibleName(m_forward->text());
    m_forward->setEnabled(canMoveForward());
}
