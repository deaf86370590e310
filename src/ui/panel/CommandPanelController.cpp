#include "ui/panel/CommandPanelController.h"

#include "core/analytics/AnalyticsSignal.h"
#include "core/analytics/AppAnalytics.h"
#include "core/desktop/StartupId.h"
#include "core/session/AppState.h"
#include "ui/panel/CommandInputField.h"
#include "ui/panel/CommandPanel.h"
#include "ui/panel/CommandView.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QWindow>

namespace {

// Longer than the toolkit waits before it reports a loss of focus (100 ms
// after the window system's report).
constexpr qint64 lateFocusLossMs = 500;

// A text view with a selection: Ctrl+C copies that selection, not the reply.
bool hasSelectedText(QWidget *widget)
{
    if (auto *edit = qobject_cast<QTextEdit *>(widget))
        return edit->textCursor().hasSelection();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(widget))
        return plain->textCursor().hasSelection();
    if (auto *line = qobject_cast<QLineEdit *>(widget))
        return line->hasSelectedText();
    return false;
}

bool isTextView(QWidget *widget)
{
    return qobject_cast<QTextEdit *>(widget) || qobject_cast<QPlainTextEdit *>(widget);
}

QRect nativeGeometry(const QScreen *screen)
{
    // The toolkit keeps a screen's origin in native pixels and scales its
    // size.
    const QRect geometry = screen->geometry();
    return {geometry.topLeft(), geometry.size() * screen->devicePixelRatio()};
}

} // namespace

CommandPanelController::CommandPanelController(AppState &appState, const DesktopServices &desktop,
                                               AppAnalytics &analytics, QObject *parent)
    : QObject(parent)
    , m_appState(appState)
    , m_desktop(desktop)
    , m_analytics(analytics)
    , m_model(appState)
{
    m_panel = new CommandPanel(m_desktop.panelWindow.get());
    m_hostingView = new CommandView(m_model);
    m_panel->setContentView(m_hostingView);
    const int margin = m_panel->shadowMargin();
    m_panel->resize(panelWidth + 2 * margin, panelMinHeight + 2 * margin);

    m_pendingShowTask.setSingleShot(true);
    connect(&m_pendingShowTask, &QTimer::timeout, this, [this] { present(defaultScreen()); });

    for (auto signal : {&AppState::responseTextChanged, &AppState::isLoadingChanged,
                        &AppState::statusChanged, &AppState::hasSelectionChanged,
                        &AppState::capturedImageChanged, &AppState::selectedTextPreviewChanged})
        connect(&m_appState, signal, this, &CommandPanelController::scheduleSizeUpdate);
    connect(&m_model, &PanelModel::inputContentHeightChanged, this,
            &CommandPanelController::scheduleSizeUpdate);
    connect(m_hostingView, &CommandView::contentSizeChanged, this,
            &CommandPanelController::scheduleSizeUpdate);
    // The window manager may map the window after the first activation
    // request; ask again once it can take focus.
    connect(m_panel, &CommandPanel::exposed, this, [this] {
        if (!m_panel->isActiveWindow())
            activatePanel();
    });
    // Set when a focus change on the way back from a clipboard probe may have
    // left the input without focus.
    connect(&m_model, &PanelModel::focusTokenChanged, this, [this] {
        if (m_panel->isVisible() && !m_panel->isActiveWindow())
            activatePanel();
    });
    m_appState.setInputFocusProbe([this] { return isInputFocused(); });
}

CommandPanelController::~CommandPanelController()
{
    m_appState.setInputFocusProbe({});
    removeMonitors();
    delete m_panel;
}

bool CommandPanelController::isPanelVisible() const
{
    return m_panel->isVisible();
}

bool CommandPanelController::hasPendingShow() const
{
    return m_pendingShowTask.isActive();
}

void CommandPanelController::show(const PanelActivation &activation)
{
    m_pendingShowTask.stop();
    m_activation = activation;
    if (m_activation.timestamp == 0)
        m_activation.timestamp = StartupId::timestamp(activation.startupId);
    m_appState.resetStateForOpen();
    m_model.setInputContentHeight(PanelModel::initialInputContentHeight);
    m_appState.setOpenToken(QUuid::createUuid());
    const bool browserLike = m_appState.startSelectionDetection();
    beginUsageSession(AnalyticsValue::keyboardShortcut, false);
    if (browserLike)
        m_pendingShowTask.start(clipboardPrefetchLeadTimeMs);
    else
        present(defaultScreen());
}

void CommandPanelController::showWithCapturedImage(const QByteArray &pngData,
                                                   const PanelActivation &activation)
{
    m_pendingShowTask.stop();
    m_activation = activation;
    if (m_activation.timestamp == 0)
        m_activation.timestamp = StartupId::timestamp(activation.startupId);
    // The reset clears any earlier image, so the new one is attached after it.
    m_appState.resetStateForOpen();
    m_appState.setCapturedImageData(pngData);
    m_model.setInputContentHeight(PanelModel::initialInputContentHeight);
    m_appState.setOpenToken(QUuid::createUuid());
    beginUsageSession(AnalyticsValue::screenSelection, true);
    present(defaultScreen());
}

void CommandPanelController::beginUsageSession(const QString &entryPoint, bool hasImage)
{
    m_analytics.beginUsageSession(entryPoint, hasImage);
    m_analytics.signal(AnalyticsSignal::panelOpened,
                       {{AnalyticsParameter::entryPoint, entryPoint}});
}

void CommandPanelController::hide()
{
    m_pendingShowTask.stop();
    m_appState.cancelActiveSubmitRequest(true);
    if (m_panel->isVisible() && QGuiApplication::focusWindow() == m_panel->windowHandle())
        m_hiddenWithFocus.start();
    else
        m_hiddenWithFocus.invalidate();
    m_panel->hide();
    removeMonitors();
}

QScreen *CommandPanelController::defaultScreen() const
{
    const auto screens = QGuiApplication::screens();
    if (m_desktop.panelWindow) {
        if (const auto centre = m_desktop.panelWindow->focusedWindowCenter()) {
            for (QScreen *screen : screens) {
                if (nativeGeometry(screen).contains(*centre))
                    return screen;
            }
        }
    }
    if (QScreen *screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

void CommandPanelController::present(QScreen *screen)
{
    // X11 reports a window's loss of focus late, in case the focus comes
    // back (measured under XWayland on sway: a bar shown again within a
    // moment of closing was dismissed by its own earlier loss).
    const bool stillFocused = QGuiApplication::focusWindow() == m_panel->windowHandle();
    m_lateFocusLossExpected = stillFocused && m_hiddenWithFocus.isValid() &&
                              m_hiddenWithFocus.elapsed() < lateFocusLossMs;
    updatePanelSizeToFitContent();
    positionPanel(screen);
    m_panel->show();
    m_panel->raise();
    // Hiding made the widgets forget the active window at once, while the
    // window system still holds the focus for it: if the focus comes back in
    // time, nothing reports it again, and the bar would stay without an
    // active window (no key commands, no focused input).
    if (stillFocused && !m_panel->isActiveWindow())
        QApplication::setActiveWindow(m_panel);
    activatePanel();
    m_appState.requestInputFocus();
    installMonitors();
}

void CommandPanelController::activatePanel()
{
    QWindow *window = m_panel->windowHandle();
    if (!window)
        return;
    if (!m_activation.activationToken.isEmpty() &&
        QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        // Consumed by the next activation request (xdg-activation).
        qputenv("XDG_ACTIVATION_TOKEN", m_activation.activationToken);
        m_activation.activationToken.clear();
    }
    window->requestActivate();
    if (m_desktop.panelWindow)
        m_desktop.panelWindow->activatePanelWindow(m_panel->winId(), m_activation.timestamp);
}

QPoint CommandPanelController::positionedOrigin(const QRect &visibleFrame, const QSize &size)
{
    const double x = visibleFrame.x() + visibleFrame.width() / 2.0 - size.width() / 2.0;
    const double y = visibleFrame.y() + 0.25 * visibleFrame.height();
    return {int(std::lround(x)), int(std::lround(y))};
}

int CommandPanelController::targetHeight(int fittingHeight,
                                         const std::optional<QRect> &visibleFrame)
{
    if (!visibleFrame)
        return std::clamp(fittingHeight, panelMinHeight, 400);
    return std::min(visibleFrame->height() / 2, std::max(fittingHeight, panelMinHeight));
}

std::optional<int> CommandPanelController::resizedHeight(int currentHeight, int targetHeight)
{
    if (std::abs(targetHeight - currentHeight) < panelResizeThreshold)
        return std::nullopt;
    return targetHeight;
}

void CommandPanelController::positionPanel(QScreen *screen)
{
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect bar = m_panel->barGeometry();
    m_panel->setBarGeometry(
        QRect(positionedOrigin(screen->availableGeometry(), bar.size()), bar.size()));
}

void CommandPanelController::scheduleSizeUpdate()
{
    if (m_sizeUpdateTask)
        return;
    m_sizeUpdateTask = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_sizeUpdateTask)
                return;
            m_sizeUpdateTask = false;
            updatePanelSizeToFitContent();
        },
        Qt::QueuedConnection);
}

void CommandPanelController::updatePanelSizeToFitContent()
{
    m_sizeUpdateTask = false;
    const int fitting = m_hostingView->fittingHeight();
    if (m_hostingView->width() <= 0)
        return;
    QScreen *screen = m_panel->isVisible() ? m_panel->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const int target = targetHeight(
        fitting, screen ? std::optional<QRect>(screen->availableGeometry()) : std::nullopt);
    const QRect bar = m_panel->barGeometry();
    const auto height = resizedHeight(bar.height(), target);
    if (!height)
        return;
    // The top edge stays; the panel grows and shrinks at the bottom.
    m_panel->setBarGeometry(QRect(bar.x(), bar.y(), panelWidth, *height));
}

void CommandPanelController::installMonitors()
{
    if (!m_globalClickMonitor) {
        m_globalClickMonitor = true;
        connect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
                &CommandPanelController::focusWindowChanged);
        m_lastFocusWindow = QGuiApplication::focusWindow();
    }
    if (!m_eventFilterInstalled) {
        m_eventFilterInstalled = true;
        qApp->installEventFilter(this);
    }
}

void CommandPanelController::removeMonitors()
{
    if (m_globalClickMonitor) {
        disconnect(qGuiApp, &QGuiApplication::focusWindowChanged, this,
                   &CommandPanelController::focusWindowChanged);
        m_globalClickMonitor = false;
    }
    if (m_eventFilterInstalled) {
        qApp->removeEventFilter(this);
        m_eventFilterInstalled = false;
    }
}

void CommandPanelController::focusWindowChanged(QWindow *window)
{
    const QWindow *panelWindow = m_panel->windowHandle();
    const bool wasPanel = m_lastFocusWindow && m_lastFocusWindow == panelWindow;
    m_lastFocusWindow = window;
    if (window == panelWindow)
        m_lateFocusLossExpected = false;
    if (!wasPanel || window == panelWindow || !m_panel->isVisible())
        return;
    // The late report of the hide's own loss; when the focus came back in
    // time none comes, so the expectation lapses.
    if (std::exchange(m_lateFocusLossExpected, false) && m_hiddenWithFocus.isValid() &&
        m_hiddenWithFocus.elapsed() < lateFocusLossMs)
        return;
    // Menus and tooltips of the bar itself are part of it.
    if (window && (window->type() == Qt::Popup || window->type() == Qt::ToolTip ||
                   window->transientParent() == panelWindow))
        return;
    // Moving the panel: the window manager holds the keyboard meanwhile.
    if (m_panel->isBeingMoved())
        return;
    // A clipboard probe or paste activates the target on purpose.
    if (m_desktop.panelWindow && m_desktop.panelWindow->isClipboardOperationRunning())
        return;
    // A late report of a loss the focus has come back from (a loaded
    // machine outlasts the window above): the window system knows.
    if (m_desktop.panelWindow &&
        m_desktop.panelWindow->holdsKeyboardFocus(m_panel->winId()).value_or(false))
        return;
    m_appState.handleEscape(UsageSessionEndReason::outsideClick);
}

bool CommandPanelController::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        return handleClick(watched, event);
    case QEvent::KeyPress:
        return handleKey(event);
    default:
        return false;
    }
}

bool CommandPanelController::handleClick(QObject *watched, QEvent *event)
{
    // A press arrives once at its window before the widget under it.
    auto *window = qobject_cast<QWindow *>(watched);
    if (!window || !m_panel->isVisible())
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton)
        return false;
    // The bar's own menus reach beyond its frame.
    if (window->type() == Qt::Popup || window->type() == Qt::ToolTip)
        return false;
    if (!m_panel->barGeometry().contains(mouse->globalPosition().toPoint()))
        m_appState.handleEscape(UsageSessionEndReason::outsideClick);
    return false;
}

bool CommandPanelController::handleKey(QEvent *event)
{
    if (!isPanelFocused())
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (!(key->modifiers() & Qt::ControlModifier))
        return false;
    // The filter sees the event once per receiver up the chain; act on the
    // first (the focused widget).
    QWidget *focus = m_panel->focusWidget();
    if (key->key() == Qt::Key_C) {
        if (m_appState.responseText().isEmpty() || hasSelectedText(focus))
            return false;
        m_appState.copyResponseToClipboard();
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (!isTextView(focus))
            return false;
        m_appState.submitFromCommandReplaceShortcut();
        return true;
    }
    return false;
}

// Asked of the window system's focus, which is never behind (the widgets'
// idea of the active window may be, see present()).
bool CommandPanelController::isPanelFocused() const
{
    return m_panel->isVisible() && QGuiApplication::focusWindow() == m_panel->windowHandle();
}

bool CommandPanelController::isInputFocused() const
{
    return isPanelFocused() && qobject_cast<CommandInputField *>(m_panel->focusWidget());
}
