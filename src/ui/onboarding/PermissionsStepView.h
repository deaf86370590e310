#pragma once

#include <QWidget>

class AccessibilityPermissionMonitor;
class DesktopShortcutRow;
struct OnboardingDependencies;
class QLabel;
class QPushButton;
class QVBoxLayout;
class StyledLabel;
class SymbolView;

// The second setup step: turning on the desktop's accessibility support,
// through which Wrenlark reads and replaces the selected text, and what else
// this desktop asks of the user (a shortcut in GNOME's settings, what it
// lacks).
class PermissionsStepView : public QWidget
{
    Q_OBJECT

public:
    PermissionsStepView(AccessibilityPermissionMonitor &monitor,
                        const OnboardingDependencies &dependencies, QWidget *parent = nullptr);

    QPushButton *grantButton() const { return m_grant; }
    // Null where the desktop's settings cannot take the shortcut.
    DesktopShortcutRow *desktopShortcut() const { return m_desktopShortcut; }
    QLabel *stateLabel() const { return m_state; }

private:
    void addDesktopSection(const OnboardingDependencies &dependencies, QVBoxLayout *layout);
    void update();

    AccessibilityPermissionMonitor &m_monitor;
    QPushButton *m_grant;
    SymbolView *m_stateSymbol;
    QLabel *m_state;
    DesktopShortcutRow *m_desktopShortcut = nullptr;
};
