#pragma once

#include <QLabel>

// A label whose text colour follows its role (secondary captions, error and
// success messages) and is derived again whenever the palette changes, so it
// stays readable when the desktop switches between light and dark.
class StyledLabel : public QLabel
{
    Q_OBJECT

public:
    enum class Role { normal, secondary, error, success };

    explicit StyledLabel(const QString &text = {}, Role role = Role::normal,
                         QWidget *parent = nullptr);

    Role role() const { return m_role; }
    void setRole(Role role);

    // A small, faded, wrapping caption.
    static StyledLabel *caption(const QString &text, QWidget *parent = nullptr);
    // A message line under a field: wraps, hidden while empty, announced to
    // screen readers as it appears.
    static StyledLabel *message(QWidget *parent = nullptr);
    // Shows `text` (hides the label when empty) as an error or a plain note.
    void showMessage(const QString &text, bool isError);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyRole();

    Role m_role;
    bool m_applying = false;
};
