#include "ui/onboarding/KeyCap.h"

#include "ui/common/WindowStyle.h"

#include <QPainter>

namespace {

constexpr int horizontalPadding = 7;
constexpr int verticalPadding = 1;

} // namespace

KeyCap::KeyCap(const QString &keyName, QWidget *parent)
    : QLabel(keyName, parent)
{
    QFont capFont = WindowStyle::strongFont(font());
    capFont.setPointSizeF(font().pointSizeF() * 0.92);
    setFont(capFont);
    setAlignment(Qt::AlignCenter);
    setAccessibleName(keyName);
}

QSize KeyCap::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(
        std::max(metrics.horizontalAdvance(text()) + 2 * horizontalPadding, metrics.height() + 6),
        metrics.height() + 2 * verticalPadding + 3);
}

void KeyCap::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor face = WindowStyle::isDark(pal) ? pal.color(QPalette::Button).lighter(125)
                                                 : pal.color(QPalette::Base);
    const QColor edge =
        WindowStyle::blend(pal.color(QPalette::WindowText), pal.color(QPalette::Window), 0.28);
    const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // The cap's lower edge, then its face a little above it.
    painter.setPen(Qt::NoPen);
    painter.setBrush(edge);
    painter.drawRoundedRect(body, 5, 5);
    painter.setBrush(face);
    painter.setPen(QPen(edge, 1));
    painter.drawRoundedRect(body.adjusted(0, 0, 0, -2), 5, 5);
    painter.setPen(pal.color(QPalette::WindowText));
    painter.drawText(QRectF(rect()).adjusted(0, 0, 0, -2), Qt::AlignCenter, text());
}
