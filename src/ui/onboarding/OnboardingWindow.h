#pragma once

#include <QWidget>

class OnboardingRootView;
struct OnboardingDependencies;

// The setup window. Closing it hides it; it never ends the application.
class OnboardingWindow : public QWidget
{
    Q_OBJECT

public:
    explicit OnboardingWindow(const OnboardingDependencies &dependencies,
                              QWidget *parent = nullptr);

    OnboardingRootView *rootView() const { return m_root; }

private:
    OnboardingRootView *m_root;
};
