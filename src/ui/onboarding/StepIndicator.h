#pragma once

#include <QWidget>

// One mark per step: the current one an accent-coloured capsule, earlier
// ones accent dots, later ones faint dots.
class StepIndicator : public QWidget
{
    Q_OBJECT

public:
    StepIndicator(int stepCount, QWidget *parent = nullptr);

    void setCurrentStep(int index);
    int currentStep() const { return m_current; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_count;
    int m_current = 0;
};
