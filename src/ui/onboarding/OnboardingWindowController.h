#pragma once

#include "ui/onboarding/OnboardingDependencies.h"

#include <QObject>
#include <QSize>
#include <memory>

class OnboardingRootView;
class OnboardingWindow;
class SettingsStore;

// Owns the one setup window: created when it is first shown (once setup is
// complete, runs never need it), then hidden (never destroyed) when closed,
// centred the first time it is shown. Completing the setup records
// it, announces completed() and closes the window.
class OnboardingWindowController : public QObject
{
    Q_OBJECT

public:
    static inline const QSize preferredContentSize{760, 560};

    // Made once, by the composition root (tests make their own).
    explicit OnboardingWindowController(const OnboardingDependencies &dependencies);
    ~OnboardingWindowController() override;

    void show();
    bool isVisible() const;
    void completeOnboarding();

    // Both create the window if it does not exist yet.
    QWidget *window();
    OnboardingRootView *rootView();

Q_SIGNALS:
    void completed();

private:
    OnboardingWindow *ensureWindow();
    void centerWindowIfNeeded();

    OnboardingDependencies m_dependencies;
    std::unique_ptr<SettingsStore> m_settingsStore;
    OnboardingWindow *m_window = nullptr;
    bool m_hasCentered = false;
};
