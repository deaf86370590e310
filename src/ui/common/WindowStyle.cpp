#include "ui/common/WindowStyle.h"

#include <QAbstractButton>
#include <QLabel>
#include <algorithm>

namespace WindowStyle {

QFont captionFont(QFont base)
{
    base.setPointSizeF(base.pointSizeF() * 0.9);
    return base;
}

QFont headingFont(QFont base, qreal scale)
{
    base.setPointSizeF(base.pointSizeF() * scale);
    base.setWeight(QFont::DemiBold);
    return base;
}

QFont strongFont(QFont base)
{
    base.setWeight(QFont::DemiBold);
    return base;
}

QLabel *fieldTitle(const QString &text, QWidget *parent)
{
    auto *title = new QLabel(text, parent);
    title->setFont(strongFont(title->font()));
    return title;
}

bool isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor blend(const QColor &color, const QColor &background, qreal opacity)
{
    const auto mix = [opacity](int a, int b) { return int(a * opacity + b * (1.0 - opacity)); };
    return QColor(mix(color.red(), background.red()), mix(color.green(), background.green()),
                  mix(color.blue(), background.blue()));
}

QColor secondaryText(const QPalette &palette)
{
    return blend(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.68);
}

QColor errorText(const QPalette &palette)
{
    return isDark(palette) ? QColor(0xff, 0x7b, 0x72) : QColor(0xc0, 0x1c, 0x28);
}

QColor successText(const QPalette &palette)
{
    return isDark(palette) ? QColor(0x57, 0xe3, 0x89) : QColor(0x1a, 0x7f, 0x37);
}

void makeRoomy(QAbstractButton *button)
{
    button->setMinimumHeight(std::max(button->sizeHint().height(), 30));
    button->setMinimumWidth(button->sizeHint().width() + 16);
}

} // namespace WindowStyle
