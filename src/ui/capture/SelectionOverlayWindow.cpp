#include "ui/capture/SelectionOverlayWindow.h"

#include "ui/capture/SelectionOverlayView.h"

#include <QScreen>
#include <QVBoxLayout>

SelectionOverlayWindow::SelectionOverlayWindow(QScreen *screen, const ScreenImage *frozen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_screenName(screen->name())
    , m_view(new SelectionOverlayView(this))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(tr("Select a screen region"));
    setAccessibleName(windowTitle());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    if (frozen)
        m_view->setFrozenScreen(*frozen);
    setScreen(screen);
    setGeometry(screen->geometry());
    setFocusProxy(m_view);
}

void SelectionOverlayWindow::present(bool focus)
{
    showFullScreen();
    raise();
    if (focus) {
        activateWindow();
        m_view->setFocus(Qt::ActiveWindowFocusReason);
    }
}
