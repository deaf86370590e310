#pragma once

#include <QAbstractButton>
#include <QVariantAnimation>

// The small "Ctrl+C" button at the corner of the reply; "Copied!" in green
// for a moment after a copy.
class CopyHintButton : public QAbstractButton
{
    Q_OBJECT

public:
    explicit CopyHintButton(QWidget *parent = nullptr);

    void setShowsCopied(bool copied);
    bool showsCopied() const { return m_copied; }
    bool isHovered() const { return m_hovered; }
    QString label() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_hovered = false;
    bool m_copied = false;
    // 0 → 1 as "Copied!" appears: opacity, and scale from 0.9.
    QVariantAnimation m_appear;
};
