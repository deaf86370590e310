#include "ui/onboarding/ProviderChip.h"

#include "ui/common/WindowStyle.h"

#include <QPainter>

namespace {

constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 9;

} // namespace

ProviderChip::ProviderChip(const QString &providerID, const QString &displayName, QWidget *parent)
    : QAbstractButton(parent)
    , m_providerID(providerID)
{
    setText(displayName);
    setAccessibleName(displayName);
    setCheckable(true);
    setAutoExclusive(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    QFont chipFont = font();
    chipFont.setWeight(QFont::Medium);
    setFont(chipFont);
}

QSize ProviderChip::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + 2 * horizontalPadding,
                 metrics.height() + 2 * verticalPadding);
}

void ProviderChip::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor window = pal.color(QPalette::Window);
    const QColor accent = pal.color(QPalette::Highlight);
    QColor fill = isChecked() ? WindowStyle::blend(accent, window, 0.16)
                              : WindowStyle::blend(pal.color(QPalette::WindowText), window, 0.06);
    if (isDown() || underMouse())
        fill = fill.darker(WindowStyle::isDark(pal) ? 80 : 106);
    const QRectF capsule = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = capsule.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(capsule, radius, radius);
    if (hasFocus()) {
        painter.setPen(QPen(accent, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }
    QColor textColor = pal.color(QPalette::WindowText);
    if (isChecked() && !WindowStyle::isDark(pal))
        textColor = accent.darker(135);
    else if (isChecked())
        textColor = accent.lighter(140);
    painter.setPen(textColor);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}
