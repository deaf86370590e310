#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QAbstractButton;
class QLabel;
class QWidget;

// The few typographic and colour choices the windows share. Everything
// derives from the application's font and palette, so the desktop's style,
// its light and dark palettes and its font size carry through.
namespace WindowStyle {

QFont captionFont(QFont base);
QFont headingFont(QFont base, qreal scale = 1.5);
QFont strongFont(QFont base);
// The bold title of a field ("API Key", "Model").
QLabel *fieldTitle(const QString &text, QWidget *parent);

// Text colour for captions and details: the window text faded towards the background.
QColor secondaryText(const QPalette &palette);
// Colour of a message that says something went wrong, readable on light and dark.
QColor errorText(const QPalette &palette);
QColor successText(const QPalette &palette);
bool isDark(const QPalette &palette);
// `color` at `opacity` over the window background.
QColor blend(const QColor &color, const QColor &background, qreal opacity);

// Gives a button room around its text, as the desktop's own dialogs do.
void makeRoomy(QAbstractButton *button);

} // namespace WindowStyle
