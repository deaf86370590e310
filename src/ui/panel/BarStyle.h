#pragma once

#include <QColor>
#include <QFont>
#include <QGradientStops>
#include <QList>

// The command bar's fixed look: a dark bar whatever the desktop's palette,
// sizes in device-independent pixels.
namespace BarStyle {

inline constexpr int barPadding = 16;
inline constexpr int barWidth = 640;
inline constexpr int borderCornerRadius = 14;
inline constexpr double borderLineWidth = 0.9;
inline constexpr double rainbowBorderOpacity = 1.0;
inline constexpr double rainbowSeamOffset = 0.125;
inline constexpr double selectedTextPreviewFontScale = 1.4;
inline constexpr int sectionContentVerticalPadding = 15;
inline constexpr int commandInputTextInset = 8;
inline constexpr int commandBadgeHeight = 30;
// The desktop's caption and small caption text sizes.
inline constexpr int captionPixelSize = 10;
inline constexpr int caption2PixelSize = 10;

inline QColor inputAreaColor()
{
    return QColor(36, 36, 38);
}
inline QColor sectionColor()
{
    return QColor(26, 26, 28);
}
inline QColor statusColor()
{
    return QColor(255, 69, 58);
}

inline QColor rgb(double red, double green, double blue)
{
    return QColor::fromRgbF(float(red), float(green), float(blue));
}

inline QList<QColor> loadingColors()
{
    return {rgb(0.11, 0.39, 0.88), rgb(0.13, 0.73, 0.78), rgb(0.63, 0.88, 0.30),
            rgb(0.95, 0.74, 0.33), rgb(0.96, 0.42, 0.30), rgb(0.86, 0.34, 0.80),
            rgb(0.11, 0.39, 0.88)};
}

inline QGradientStops borderStops()
{
    return {{0.0, rgb(0.11, 0.39, 0.88)},
            {0.33, rgb(0.95, 0.74, 0.33)},
            {0.66, rgb(0.86, 0.34, 0.80)},
            {1.0, rgb(0.11, 0.39, 0.88)}};
}

// The desktop's interface font at a size.
inline QFont systemFont(double pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font;
    font.setPixelSize(qRound(pixelSize));
    font.setWeight(weight);
    return font;
}

// Preview and response text.
inline QFont bodyFont()
{
    return systemFont(captionPixelSize * selectedTextPreviewFontScale);
}

} // namespace BarStyle
