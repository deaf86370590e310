#include "ui/preferences/PreferencesWindowController.h"

#include "core/analytics/AppAnalytics.h"
#include "ui/common/WindowPlacement.h"
#include "ui/preferences/PreferencesRootView.h"
#include "ui/preferences/PreferencesWindow.h"

PreferencesWindowController::PreferencesWindowController(
    const PreferencesDependencies &dependencies)
    : m_dependencies(dependencies)
{
}

PreferencesWindowController::~PreferencesWindowController()
{
    delete m_window;
}

PreferencesWindow *PreferencesWindowController::ensureWindow()
{
    if (!m_window) {
        m_window = new PreferencesWindow(m_dependencies);
        m_window->resize(preferredContentSize);
        connect(m_window, &PreferencesWindow::willClose, this,
                &PreferencesWindowController::windowWillClose);
    }
    return m_window;
}

void PreferencesWindowController::show(const QString &source)
{
    ensureWindow();
    if (!m_hasCentered) {
        m_hasCentered = true;
        WindowPlacement::centerOnScreen(m_window, preferredContentSize);
    }
    m_dependencies.analytics->signal(QStringLiteral("Settings.opened"),
                                     {{QStringLiteral("source"), source}});
    WindowPlacement::bringToFront(m_window);
}

bool PreferencesWindowController::isVisible() const
{
    return m_window && m_window->isVisible();
}

QWidget *PreferencesWindowController::window()
{
    return ensureWindow();
}

PreferencesRootView *PreferencesWindowController::rootView()
{
    return ensureWindow()->rootView();
}
