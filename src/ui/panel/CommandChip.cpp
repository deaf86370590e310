#include "ui/panel/CommandChip.h"

#include "ui/panel/BarStyle.h"

#include <QPainter>
#include <cmath>

namespace {

constexpr int gapAfterChip = 8;
constexpr int gapAfterArrow = 6;

} // namespace

CommandChip::CommandChip(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

int CommandChip::commandBadgeWidth(const QString &command)
{
    const QFontMetricsF metrics(BarStyle::systemFont(16));
    return int(std::trunc(metrics.horizontalAdvance(command))) + 16;
}

void CommandChip::setCommand(const QString &command, const QString &instruction, int textInset)
{
    m_command = command;
    m_instruction = instruction;
    m_textInset = textInset;
    update();
}

void CommandChip::paintEvent(QPaintEvent *)
{
    if (m_command.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The shorthand's text starts at the inset; the chip gives it 8 on each
    // side.
    const qreal chipLeft = m_textInset - 8;
    const int chipWidth = commandBadgeWidth(m_command);
    const QRectF chip(chipLeft + 0.5, (height() - BarStyle::commandBadgeHeight) / 2.0 + 0.5,
                      chipWidth - 1, BarStyle::commandBadgeHeight - 1);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.22f), 1));
    painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.1f));
    painter.drawRoundedRect(chip, 7, 7);

    qreal x = chipLeft + chipWidth + gapAfterChip;
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.55f));
    painter.setFont(BarStyle::systemFont(12));
    const QString arrow = QStringLiteral("\u2192");
    painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignLeft | Qt::AlignVCenter, arrow);
    x += QFontMetricsF(painter.font()).horizontalAdvance(arrow) + gapAfterArrow;
    painter.setFont(BarStyle::systemFont(14));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.7f));
    const QRectF rest(x, 0, std::max<qreal>(0, width() - x - 4), height());
    const QString elided =
        painter.fontMetrics().elidedText(m_instruction, Qt::ElideRight, int(rest.width()));
    painter.drawText(rest, Qt::AlignLeft | Qt::AlignVCenter, elided);
}
