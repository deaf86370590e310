#pragma once

#include "core/desktop/ScreenGrab.h"

#include <QWidget>

class QScreen;
class SelectionOverlayView;

// A frameless window over the whole of one screen, above every other
// window, that takes the keyboard so Escape reaches it.
class SelectionOverlayWindow : public QWidget
{
    Q_OBJECT

public:
    SelectionOverlayWindow(QScreen *screen, const ScreenImage *frozen);

    QString screenName() const { return m_screenName; }
    SelectionOverlayView *view() const { return m_view; }
    // Shows it over its screen; `focus` also gives it the keyboard.
    void present(bool focus);

private:
    QString m_screenName;
    SelectionOverlayView *m_view = nullptr;
};
