#pragma once

#include "core/session/SubmitAction.h"

#include <QTextEdit>
#include <functional>

// The instruction input: plain multi-line text that submits on Return,
// breaks the line on Shift or Alt+Return, reports Escape, offers Up and Down
// for recalling earlier instructions, and grows with its
// content up to a limit, beyond which it scrolls.
class CommandInputField : public QTextEdit
{
    Q_OBJECT

public:
    static constexpr int fontPixelSize = 16;
    static constexpr double placeholderOpacity = 0.42;

    explicit CommandInputField(QWidget *parent = nullptr);

    // Puts the session's text in when it differs from what is shown (the
    // "bound" text); typing reports through onChange instead.
    void setBoundText(const QString &text);
    QString text() const { return toPlainText(); }

    void setHorizontalTextInset(int inset);
    int horizontalTextInset() const { return m_horizontalTextInset; }
    void setPlaceholder(const QString &placeholder);
    QString placeholder() const { return m_placeholder; }
    void setMaxHeight(double height);
    double maxHeight() const { return m_maxHeight; }
    double minimumContentHeight() const { return m_minimumHeight; }
    // The laid-out height of the text, at least the minimum.
    double contentHeight() const;
    // Takes keyboard focus once, from the event loop (after the window that
    // holds the field has had its chance to become active).
    void focusSoon();
    // Whether the caret follows the text beyond the visible height.
    bool allowsAutomaticCaretScroll() const { return m_allowAutomaticCaretScroll; }

    std::function<void(SubmitAction)> onSubmit;
    std::function<void()> onEscape;
    std::function<void(const QString &)> onChange;
    std::function<void(double)> onHeightChange;
    // Up (older) or Down: true when it brought back an earlier instruction,
    // which then takes the key.
    std::function<bool(bool older)> onRecall;
    // Tab: true when it switched between the reply and its changes, which
    // then takes the key.
    std::function<bool()> onCompare;
    // Ctrl+Shift+Backspace: true when it dropped the session's replies, so
    // the next instruction goes with the selection alone.
    std::function<bool()> onStartOver;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void textEdited();
    void recomputeHeight();
    void applyInset();

    int m_horizontalTextInset = 0;
    QString m_placeholder;
    double m_maxHeight = 320;
    double m_minimumHeight = 22;
    bool m_allowAutomaticCaretScroll = false;
    bool m_settingBoundText = false;
    double m_reportedHeight = -1;
};
