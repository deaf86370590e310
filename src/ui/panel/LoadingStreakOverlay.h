#pragma once

#include <QVariantAnimation>
#include <QWidget>

// Laid over the whole bar: the rainbow outline, and while a request runs
// the glowing streak that travels along the bottom edge.
class LoadingStreakOverlay : public QWidget
{
    Q_OBJECT

public:
    static constexpr int cycleMs = 1450;

    explicit LoadingStreakOverlay(QWidget *parent = nullptr);

    // Runs the streak only while loading and visible.
    void setLoading(bool loading);
    bool isAnimating() const { return m_animation.state() == QAbstractAnimation::Running; }
    double phase() const { return m_phase; }
    void resetPhase();

    // Width and left edge of the streak for a bar `width` wide.
    static double streakWidth(double width);
    static double streakLeft(double width, double phase);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void updateAnimation();

    bool m_loading = false;
    double m_phase = -1;
    QVariantAnimation m_animation;
};
