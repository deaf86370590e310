#include "ui/panel/CopyHintButton.h"

#include "ui/panel/BarStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int horizontalPadding = 6;
constexpr int verticalPadding = 3;
constexpr qreal radius = 5;
constexpr qreal outlineWidth = 0.8;
constexpr int appearMs = 180;

QColor white(qreal alpha)
{
    QColor color(Qt::white);
    color.setAlphaF(float(alpha));
    return color;
}

QColor green(qreal alpha)
{
    QColor color(52, 199, 89);
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

CopyHintButton::CopyHintButton(QWidget *parent)
    : QAbstractButton(parent)
{
    setFont(BarStyle::systemFont(BarStyle::caption2PixelSize));
    setToolTip(tr("Copy output"));
    setAccessibleName(tr("Copy output"));
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover);
    m_appear.setStartValue(0.0);
    m_appear.setEndValue(1.0);
    m_appear.setDuration(appearMs);
    m_appear.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_appear, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

QString CopyHintButton::label() const
{
    return m_copied ? tr("Copied!") : tr("Ctrl+C");
}

void CopyHintButton::setShowsCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    m_appear.stop();
    if (copied && isVisible())
        m_appear.start();
    updateGeometry();
    update();
}

QSize CopyHintButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int width =
        std::max(metrics.horizontalAdvance(tr("Ctrl+C")), metrics.horizontalAdvance(label()));
    return {width + 2 * horizontalPadding, metrics.height() + 2 * verticalPadding};
}

void CopyHintButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void CopyHintButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void CopyHintButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool lit = m_hovered || hasFocus();
    qreal progress = 1.0;
    if (m_copied && m_appear.state() == QAbstractAnimation::Running)
        progress = m_appear.currentValue().toReal();
    if (m_copied) {
        painter.setOpacity(progress);
        const qreal scale = 0.9 + 0.1 * progress;
        const QPointF centre = QRectF(rect()).center();
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
    }
    const QRectF box = QRectF(rect()).adjusted(outlineWidth / 2, outlineWidth / 2,
                                               -outlineWidth / 2, -outlineWidth / 2);
    const QColor fill = m_copied ? green(0.28) : white(lit ? 0.28 : 0.08);
    const QColor outline = m_copied ? green(0.6) : white(lit ? 0.3 : 0.1);
    painter.setPen(QPen(outline, outlineWidth));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, radius, radius);
    painter.setPen(m_copied ? white(1.0) : white(lit ? 0.9 : 0.45));
    painter.drawText(rect(), Qt::AlignCenter, label());
}
