#pragma once

#include "core/desktop/DesktopServices.h"
#include "ui/panel/PanelActivation.h"
#include "ui/panel/PanelModel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <optional>

class AppAnalytics;
class AppState;
class CommandPanel;
class CommandView;
class QScreen;
class QWindow;

// The floating command bar: opens it on the shortcut (a little later for
// browser-like targets, whose selection is read through the clipboard),
// places it, grows and shrinks it with its content, closes it on clicks
// outside, and routes Ctrl+C and Ctrl+Return to the session.
class CommandPanelController : public QObject
{
    Q_OBJECT

public:
    static constexpr int panelWidth = 640;
    static constexpr int panelMinHeight = 88;
    static constexpr int panelResizeThreshold = 8;
    // Lead given to the clipboard prefetch the session starts for
    // browser-like targets.
    static constexpr int clipboardPrefetchLeadTimeMs = 160;

    // `analytics` records the usage sessions.
    CommandPanelController(AppState &appState, const DesktopServices &desktop,
                           AppAnalytics &analytics, QObject *parent = nullptr);
    ~CommandPanelController() override;

    void show(const PanelActivation &activation = {});
    // Opens the bar about a captured screen region (its PNG bytes): the
    // image is attached to the session and no text selection is read.
    void showWithCapturedImage(const QByteArray &pngData, const PanelActivation &activation = {});
    void hide();
    bool isPanelVisible() const;
    bool hasPendingShow() const;

    CommandPanel *panel() const { return m_panel; }
    CommandView *view() const { return m_hostingView; }
    PanelModel &model() { return m_model; }

    // The placement rules, in the toolkit's coordinates (y grows downwards).
    // Centred horizontally, top edge a quarter of the visible height below
    // the top of the visible area.
    static QPoint positionedOrigin(const QRect &visibleFrame, const QSize &size);
    // The height the panel should have for content of `fittingHeight`.
    static int targetHeight(int fittingHeight, const std::optional<QRect> &visibleFrame);
    // The new height, or nothing when the change is below the threshold.
    static std::optional<int> resizedHeight(int currentHeight, int targetHeight);

    // The screen holding the desktop's focused window; the pointer's screen
    // when that is unknown; the primary screen at last.
    QScreen *defaultScreen() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void present(QScreen *screen);
    void beginUsageSession(const QString &entryPoint, bool hasImage);
    void positionPanel(QScreen *screen);
    void scheduleSizeUpdate();
    void updatePanelSizeToFitContent();
    void activatePanel();
    void installMonitors();
    void removeMonitors();
    void focusWindowChanged(QWindow *window);
    bool handleClick(QObject *watched, QEvent *event);
    bool handleKey(QEvent *event);
    bool isPanelFocused() const;
    bool isInputFocused() const;

    AppState &m_appState;
    DesktopServices m_desktop;
    AppAnalytics &m_analytics;
    PanelModel m_model;
    CommandPanel *m_panel = nullptr;
    CommandView *m_hostingView = nullptr;
    bool m_globalClickMonitor = false;
    // The application-wide filter that sees clicks and keys inside the bar.
    bool m_eventFilterInstalled = false;
    bool m_sizeUpdateTask = false;
    QTimer m_pendingShowTask;
    PanelActivation m_activation;
    QPointer<QWindow> m_lastFocusWindow;
    // When the bar was last hidden while it had the focus.
    QElapsedTimer m_hiddenWithFocus;
    // The toolkit still had the bar focused when it was shown again: the
    // loss of focus of the hide may yet be reported.
    bool m_lateFocusLossExpected = false;
};
