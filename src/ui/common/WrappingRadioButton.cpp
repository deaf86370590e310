#include "ui/common/WrappingRadioButton.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace {

constexpr int textFlags = Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop;

} // namespace

WrappingRadioButton::WrappingRadioButton(QWidget *parent)
    : QRadioButton(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrappingRadioButton::indicatorWidth() const
{
    return style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this) +
           style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, this);
}

QRect WrappingRadioButton::textRect(int width) const
{
    const int left = indicatorWidth();
    const QRect bounds = fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - left), 10000),
                                                    textFlags, text());
    return QRect(left, 0, bounds.width(), bounds.height());
}

QSize WrappingRadioButton::sizeHint() const
{
    // Ideally one line up to a readable measure; wider text wraps.
    const int oneLine = indicatorWidth() + fontMetrics().horizontalAdvance(text()) + 2;
    const int width = std::min(oneLine, 360);
    return QSize(width, heightForWidth(width));
}

QSize WrappingRadioButton::minimumSizeHint() const
{
    const int width = indicatorWidth() + fontMetrics().averageCharWidth() * 12;
    return QSize(width, heightForWidth(width));
}

int WrappingRadioButton::heightForWidth(int width) const
{
    const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, this);
    return std::max(indicator, textRect(width).height()) + 2;
}

void WrappingRadioButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, this);
    const int lineHeight = fontMetrics().height();
    option.rect = QRect(0, std::max(0, (lineHeight - indicator) / 2) + 1, indicator, indicator);
    painter.drawPrimitive(QStyle::PE_IndicatorRadioButton, option);

    const QRect text = textRect(width()).translated(0, 1);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(QRect(text.left(), text.top(), width() - text.left(), height()), textFlags,
                     QRadioButton::text());
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = text.adjusted(-2, -1, 2, 1);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
