#pragma once

#include <QSize>

class QWidget;

namespace WindowPlacement {

// Gives the window a content area of `contentSize` centred in the visible
// area of its screen, else the primary screen, else the first one; leaves it
// where it is when there is no screen at all.
void centerOnScreen(QWidget *window, QSize contentSize);

// Shows the window in front and asks for the keyboard focus.
void bringToFront(QWidget *window);

} // namespace WindowPlacement
