#pragma once

#include <QWidget>

class AccessibilityPermissionMonitor;
class QLabel;
class QPushButton;
class StyledLabel;
class SymbolView;

// The second setup step: turning on the desktop's accessibility support,
// through which Wrenlark reads and replaces the selected text.
class PermissionsStepView : public QWidget
{
    Q_OBJECT

public:
    PermissionsStepView(AccessibilityPermissionMonitor &monitor, QWidget *parent = nullptr);

    QPushButton *grantButton() const { return m_grant; }
    QLabel *stateLabel() const { return m_state; }

private:
    void update();

    AccessibilityPermissionMonitor &m_monitor;
    QPushButton *m_grant;
    SymbolView *m_stateSymbol;
    QLabel *m_state;
};
