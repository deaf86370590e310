#pragma once

#include <QRadioButton>

// A radio button whose text wraps onto further lines instead of widening
// the window (the long explanations of the default-provider control).
class WrappingRadioButton : public QRadioButton
{
    Q_OBJECT

public:
    explicit WrappingRadioButton(QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override { return rect().contains(position); }

private:
    int indicatorWidth() const;
    QRect textRect(int width) const;
};
