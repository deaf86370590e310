#include "ui/onboarding/PermissionsStepView.h"

#include "core/desktop/GlobalShortcutService.h"
#include "ui/common/DesktopNoticeList.h"
#include "ui/common/DesktopShortcutRow.h"
#include "ui/common/StyledLabel.h"
#include "ui/common/SymbolView.h"
#include "ui/common/WindowStyle.h"
#include "ui/onboarding/AccessibilityPermissionMonitor.h"
#include "ui/onboarding/OnboardingDependencies.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

PermissionsStepView::PermissionsStepView(AccessibilityPermissionMonitor &monitor,
                                         const OnboardingDependencies &dependencies,
                                         QWidget *parent)
    : QWidget(parent)
    , m_monitor(monitor)
    , m_grant(new QPushButton(this))
    , m_stateSymbol(new SymbolView(SymbolView::Symbol::checkmark, 18, this))
    , m_state(new QLabel(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(96, 24, 96, 16);
    layout->addStretch(1);
    layout->setSpacing(12);
    layout->addWidget(new SymbolView(SymbolView::Symbol::accessibility, 64, this), 0,
                      Qt::AlignHCenter);
    auto *heading = new QLabel(tr("Accessibility Permissions"), this);
    heading->setFont(WindowStyle::headingFont(heading->font(), 1.55));
    heading->setAlignment(Qt::AlignHCenter);
    layout->addWidget(heading);

    auto *text = new QLabel(
        tr("Wrenlark needs permission to copy and replace selected text. Please, grant it."), this);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter);
    layout->addWidget(text);
    auto *instruction = StyledLabel::caption(
        tr("Click 'Grant Permission' to turn on the desktop's accessibility support, through "
           "which Wrenlark reads and replaces the text you select. Applications that were "
           "already running may need a restart before Wrenlark can read their text."),
        this);
    instruction->setAlignment(Qt::AlignHCenter);
    layout->addWidget(instruction);
    layout->addSpacing(10);

    m_grant->setText(tr("Grant Permission"));
    WindowStyle::makeRoomy(m_grant);
    m_grant->setMinimumWidth(180);
    layout->addWidget(m_grant, 0, Qt::AlignHCenter);
    auto *state = new QHBoxLayout;
    state->addStretch();
    state->addWidget(m_stateSymbol);
    state->addWidget(m_state);
    state->addStretch();
    layout->addLayout(state);
    addDesktopSection(dependencies, layout);
    layout->addStretch(2);

    connect(m_grant, &QPushButton::clicked, &m_monitor,
            &AccessibilityPermissionMonitor::requestPermission);
    connect(&m_monitor, &AccessibilityPermissionMonitor::changed, this,
            &PermissionsStepView::update);
    update();
}

void PermissionsStepView::addDesktopSection(const OnboardingDependencies &dependencies,
                                            QVBoxLayout *layout)
{
    QStringList notices = dependencies.desktopNotices.capabilities;
    if (!dependencies.desktopNotices.shortcut.isEmpty())
        notices.prepend(dependencies.desktopNotices.shortcut);
    if (!dependencies.commandKeybinding && notices.isEmpty())
        return;
    layout->addSpacing(18);
    if (dependencies.commandKeybinding) {
        QPointer<GlobalShortcutService> shortcuts = dependencies.shortcuts;
        m_desktopShortcut = new DesktopShortcutRow(
            *dependencies.commandKeybinding,
            [shortcuts] {
                const auto key = shortcuts
                                     ? shortcuts->shortcut(GlobalShortcutService::toggleWrenlark)
                                     : std::nullopt;
                return key.value_or(QStringLiteral("Alt+Space"));
            },
            this);
        layout->addWidget(m_desktopShortcut);
    }
    if (!notices.isEmpty())
        layout->addWidget(new DesktopNoticeList(notices, this));
}

void PermissionsStepView::update()
{
    const bool granted = m_monitor.isGranted();
    m_grant->setText(granted ? tr("Granted") : tr("Grant Permission"));
    m_grant->setAccessibleName(m_grant->text());
    m_grant->setEnabled(!granted);
    m_stateSymbol->setVisible(granted);
    if (granted)
        m_state->setText(tr("Permission granted!"));
    else if (m_monitor.isRequesting())
        m_state->setText(tr("Waiting for permissions..."));
    else
        m_state->clear();
    m_state->setVisible(!m_state->text().isEmpty());
}
