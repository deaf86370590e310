#include "ui/onboarding/OnboardingWindow.h"

#include "ui/onboarding/OnboardingRootView.h"

#include <QShortcut>
#include <QVBoxLayout>

OnboardingWindow::OnboardingWindow(const OnboardingDependencies &dependencies, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_root(new OnboardingRootView(dependencies, this))
{
    setWindowTitle(tr("Wrenlark Setup"));
    setAttribute(Qt::WA_QuitOnClose, false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_root);
    auto *close = new QShortcut(QKeySequence::Close, this);
    connect(close, &QShortcut::activated, this, &QWidget::close);
}
