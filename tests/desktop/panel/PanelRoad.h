#pragma once

#include "core/session/AppState.h"
#include "core/session/InstructionHistory.h"
#include "platform/linux/LinuxDesktopConnections.h"
#include "ui/panel/CommandPanelController.h"

#include <QList>
#include <QString>
#include <memory>

class AppAnalytics;
class TestHttpServer;

// The command bar as the resident application wires it, on the real Linux
// desktop services: a session, its panel, analytics that record what they
// would send. Closing requests hide the panel.
class PanelRoad
{
public:
    PanelRoad();
    ~PanelRoad();

    AppState &state() { return *m_state; }
    CommandPanelController &controller() { return *m_controller; }
    // The end reasons of the usage sessions so far ("escape_key", ...).
    // Usage-session end reasons in the order the analytics client recorded
    // them; recording is asynchronous, so wait for them (QTRY_*).
    QStringList endReasons() const { return m_endReasons; }

    // The X window id of the desktop's active window, as xdotool sees it.
    static quint64 activeWindow();
    // The panel's X window.
    quint64 panelWindow() const;
    // The text of this process's accessible of that name, read over AT-SPI
    // by another process; its role on the first line.
    static QString readAccessible(const QString &name);
    // The CLIPBOARD as another program sees it.
    static QString clipboardText();
    static void setClipboardText(const QString &text);

    // Renders the bar into `name`.png in the test's screenshot folder, at
    // twice the pixels.
    void saveScreenshot(const QString &name) const;

    // Points "openai" at the server with a key in the real keyring.
    static void configureProvider(const TestHttpServer &server);

private:
    LinuxDesktopConnections m_desktop;
    std::unique_ptr<AppAnalytics> m_analytics;
    InstructionHistory m_instructionHistory;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<CommandPanelController> m_controller;
    QStringList m_endReasons;
};

// The last end reason recorded so far; empty before the first.
inline QString lastEndReason(const PanelRoad &road)
{
    const QStringList reasons = road.endReasons();
    return reasons.isEmpty() ? QString() : reasons.constLast();
}
