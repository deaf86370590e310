#include "ui/panel/LoadingStreakOverlay.h"

#include "ui/panel/BarStyle.h"

#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr double trackHeight = 0.75;
constexpr double trackOpacity = 0.14;
constexpr double streakHeight = 2.0;

} // namespace

LoadingStreakOverlay::LoadingStreakOverlay(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_animation.setStartValue(-1.0);
    m_animation.setEndValue(1.0);
    m_animation.setDuration(cycleMs);
    m_animation.setLoopCount(-1);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_phase = value.toDouble();
        update();
    });
}

void LoadingStreakOverlay::setLoading(bool loading)
{
    if (loading == m_loading)
        return;
    m_loading = loading;
    updateAnimation();
    update();
}

void LoadingStreakOverlay::resetPhase()
{
    m_phase = -1;
    if (isAnimating())
        m_animation.setCurrentTime(0);
}

void LoadingStreakOverlay::updateAnimation()
{
    // Nothing ticks while the bar is hidden or no request runs.
    const bool run = m_loading && isVisible();
    if (run && !isAnimating())
        m_animation.start();
    else if (!run && isAnimating())
        m_animation.stop();
}

void LoadingStreakOverlay::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    updateAnimation();
}

void LoadingStreakOverlay::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    updateAnimation();
}

double LoadingStreakOverlay::streakWidth(double width)
{
    return width <= 1 ? 120.0 : std::max(0.4 * width, 120.0);
}

double LoadingStreakOverlay::streakLeft(double width, double phase)
{
    const double streak = streakWidth(width);
    return (std::max(width, 1.0) + streak) * (phase + 1) / 2 - streak;
}

void LoadingStreakOverlay::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = QRectF(rect());
    const qreal radius = BarStyle::borderCornerRadius;
    QPainterPath shape;
    shape.addRoundedRect(bar, radius, radius);

    if (m_loading) {
        painter.save();
        painter.setClipPath(shape);
        const double width = bar.width();
        painter.fillRect(QRectF(0, bar.height() - trackHeight, width, trackHeight),
                         QColor::fromRgbF(1, 1, 1, float(trackOpacity)));
        const double streak = streakWidth(width);
        const double left = streakLeft(width, m_phase);
        QLinearGradient gradient(left, 0, left + streak, 0);
        const auto colors = BarStyle::loadingColors();
        for (int i = 0; i < colors.size(); ++i) {
            QColor color = colors[i];
            // Fades in and out at the streak's ends.
            const double t = double(i) / (colors.size() - 1);
            color.setAlphaF(float(std::sin(t * M_PI) * 0.9 + 0.1));
            gradient.setColorAt(t, color);
        }
        // The glow: a wider, fainter band under the bright line.
        painter.setOpacity(0.35);
        painter.fillRect(QRectF(left, bar.height() - 3 * streakHeight, streak, 3 * streakHeight),
                         gradient);
        painter.setOpacity(1.0);
        painter.fillRect(QRectF(left, bar.height() - streakHeight, streak, streakHeight), gradient);
        painter.restore();
    }

    // The outline: one full turn of the gradient from 45°, so the seam
    // where its last stop meets the first lies at 45°.
    const double lineWidth = BarStyle::borderLineWidth;
    const QRectF outline =
        bar.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    // Qt's conical gradient runs counter-clockwise from its angle; the
    // original turn runs clockwise, so the stops are mirrored.
    QConicalGradient gradient(bar.center(), -BarStyle::rainbowSeamOffset * 360.0);
    for (const auto &stop : BarStyle::borderStops())
        gradient.setColorAt(1.0 - stop.first, stop.second);
    painter.setOpacity(BarStyle::rainbowBorderOpacity);
    painter.setPen(QPen(QBrush(gradient), lineWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(outline, radius - lineWidth / 2, radius - lineWidth / 2);
}
