#include "ui/common/SymbolView.h"

#include "ui/common/WindowStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// A four-pointed star centred at `c` with outer radius `r`.
QPainterPath star(QPointF c, qreal r)
{
    const qreal w = r * 0.28;
    QPainterPath path;
    path.moveTo(c.x(), c.y() - r);
    path.quadTo(c.x() + w * 0.4, c.y() - w * 0.4, c.x() + r, c.y());
    path.quadTo(c.x() + w * 0.4, c.y() + w * 0.4, c.x(), c.y() + r);
    path.quadTo(c.x() - w * 0.4, c.y() + w * 0.4, c.x() - r, c.y());
    path.quadTo(c.x() - w * 0.4, c.y() - w * 0.4, c.x(), c.y() - r);
    return path;
}

} // namespace

SymbolView::SymbolView(Symbol symbol, int size, QWidget *parent)
    : QWidget(parent)
    , m_symbol(symbol)
    , m_size(size)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}

void SymbolView::setSymbol(Symbol symbol)
{
    m_symbol = symbol;
    update();
}

void SymbolView::setAccented(bool accented)
{
    m_accented = accented;
    update();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(width() / 100.0, height() / 100.0);
    const QPalette &pal = palette();
    QColor color = m_accented ? pal.color(QPalette::Highlight) : pal.color(QPalette::WindowText);
    if (m_symbol == Symbol::checkmark)
        color = WindowStyle::successText(pal);
    switch (m_symbol) {
    case Symbol::sparkles:
        paintSparkles(painter, color);
        break;
    case Symbol::accessibility:
        paintAccessibility(painter, color);
        break;
    case Symbol::checkmark:
        paintCheckmark(painter, color);
        break;
    }
}

void SymbolView::paintSparkles(QPainter &painter, const QColor &color) const
{
    // Two stacked cards with sparkles over them.
    QColor faded = color;
    faded.setAlphaF(0.22);
    painter.setPen(Qt::NoPen);
    painter.setBrush(faded);
    painter.drawRoundedRect(QRectF(22, 34, 64, 50), 10, 10);
    faded.setAlphaF(0.38);
    painter.setBrush(faded);
    painter.drawRoundedRect(QRectF(14, 42, 64, 50), 10, 10);
    painter.setBrush(color);
    painter.drawPath(star(QPointF(58, 30), 24));
    painter.drawPath(star(QPointF(30, 14), 11));
    painter.drawPath(star(QPointF(84, 56), 9));
}

void SymbolView::paintAccessibility(QPainter &painter, const QColor &color) const
{
    painter.setPen(QPen(color, 6));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(5, 5, 90, 90));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(42, 18, 16, 16));
    QPen limb(color, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(limb);
    painter.drawLine(QPointF(26, 42), QPointF(74, 42)); // arms
    painter.drawLine(QPointF(50, 42), QPointF(50, 62)); // body
    painter.drawLine(QPointF(50, 62), QPointF(38, 80)); // legs
    painter.drawLine(QPointF(50, 62), QPointF(62, 80));
}

void SymbolView::paintCheckmark(QPainter &painter, const QColor &color) const
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(4, 4, 92, 92));
    painter.setPen(
        QPen(palette().color(QPalette::Base), 11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolyline(QPolygonF({QPointF(28, 52), QPointF(44, 67), QPointF(72, 36)}));
}
