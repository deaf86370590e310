#pragma once

#include <QFrame>

class KeyboardControlPermission;
class QPushButton;
class StyledLabel;

// What the desktop granted Wrenlark for typing the copy and paste keys, and
// a button that takes it back.
class KeyboardPermissionRow : public QFrame
{
    Q_OBJECT

public:
    explicit KeyboardPermissionRow(KeyboardControlPermission &permission,
                                   QWidget *parent = nullptr);

    QPushButton *button() const { return m_button; }
    StyledLabel *caption() const { return m_caption; }

private:
    void refresh();

    KeyboardControlPermission &m_permission;
    StyledLabel *m_caption;
    QPushButton *m_button;
};
