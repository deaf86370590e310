#pragma once

#include <QKeySequenceEdit>
#include <optional>

// Records one global shortcut: a chord of modifiers and one key, typed while
// the control has the focus. Backspace or Delete alone clears it, Escape
// alone gives up recording, Tab and Shift+Tab move on as everywhere else.
// A chord of modifiers only, or a key that would type text without Ctrl, Alt
// or Super, is refused with a message: as a global shortcut it would take
// that key away from every other application.
class ShortcutRecorder : public QKeySequenceEdit
{
    Q_OBJECT

public:
    explicit ShortcutRecorder(QWidget *parent = nullptr);

    // The shortcut as portable text ("Alt+Space"); none when cleared.
    std::optional<QString> portableText() const;
    void setPortableText(const std::optional<QString> &portableText);

    // Why a chord cannot be a global shortcut; empty when it can.
    static QString refusalReason(QKeyCombination chord);

Q_SIGNALS:
    // The user recorded a chord (a value) or cleared the shortcut (none).
    void shortcutRecorded(const std::optional<QString> &portableText);
    void refused(const QString &message);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void showModifiers(Qt::KeyboardModifiers modifiers);
    void restoreDisplay();

    QKeySequence m_recorded;
    bool m_holdingModifiersOnly = false;
};
