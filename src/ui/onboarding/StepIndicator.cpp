#include "ui/onboarding/StepIndicator.h"

#include "ui/common/WindowStyle.h"

#include <QPainter>

namespace {

constexpr int dot = 8;
constexpr int capsuleWidth = 28;
constexpr int gap = 6;

} // namespace

StepIndicator::StepIndicator(int stepCount, QWidget *parent)
    : QWidget(parent)
    , m_count(stepCount)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void StepIndicator::setCurrentStep(int index)
{
    m_current = index;
    update();
}

QSize StepIndicator::sizeHint() const
{
    return QSize(capsuleWidth + (m_count - 1) * (dot + gap), dot);
}

void StepIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPalette &pal = palette();
    const QColor window = pal.color(QPalette::Window);
    const QColor accent = pal.color(QPalette::Highlight);
    qreal x = (width() - sizeHint().width()) / 2.0;
    const qreal y = (height() - dot) / 2.0;
    for (int step = 0; step < m_count; ++step) {
        const int markWidth = step == m_current ? capsuleWidth : dot;
        QColor color = accent;
        if (step < m_current)
            color = WindowStyle::blend(accent, window, 0.9);
        else if (step > m_current)
            color = WindowStyle::blend(pal.color(QPalette::WindowText), window, 0.18);
        painter.setBrush(color);
        painter.drawRoundedRect(QRectF(x, y, markWidth, dot), dot / 2.0, dot / 2.0);
        x += markWidth + gap;
    }
}
