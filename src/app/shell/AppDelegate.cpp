#include "shell/AppDelegate.h"

#include "core/analytics/AppAnalytics.h"
#include "core/session/AppState.h"
#include "core/settings/LaunchAtLoginManager.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/UserDefaults.h"
#include "core/support/Logging.h"
#include "core/support/WrenlarkCommand.h"
#include "platform/linux/session/LogindSleepMonitor.h"
#include "platform/linux/shortcuts/FirstRunShortcut.h"
#include "platform/linux/tray/TrayHosts.h"
#include "shell/MemoryRelease.h"
#include "ui/capture/ScreenSelectionController.h"
#include "ui/onboarding/OnboardingWindowController.h"
#include "ui/panel/CommandPanelController.h"
#include "ui/preferences/PreferencesWindowController.h"
#include "ui/tray/StatusItem.h"
#include "ui/tray/SupportEmail.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QKeyEvent>
#include <QNetworkInformation>
#include <QProcess>
#include <QTimer>
#include <QWidget>

namespace {

PanelActivation panelActivationOf(const ActivationRequest &activation)
{
    return {activation.timestamp, activation.startupId, activation.activationToken};
}

const QString trayHostService = QString::fromLatin1(TrayHosts::watcherService);
// Set once the user has been told how to reach Settings without a tray.
// How long the windows under a closing bar get to repaint before a capture
// photographs the screens.
constexpr int barGoneDelayMs = 150;
// How long after start-up, or after a window closed, free memory is given
// back: late enough for the deferred deletions and repaints of the close.
constexpr int memoryReleaseDelayMs = 1000;

} // namespace

AppDelegate::AppDelegate(DesktopServices desktop, std::shared_ptr<SecretStore> secrets,
                         AppAnalytics &analytics, const AIProviderRegistry &registry,
                         Environment environment, QObject *parent)
    : QObject(parent)
    , m_desktop(std::move(desktop))
    , m_analytics(analytics)
    , m_registry(registry)
    , m_environment(std::move(environment))
{
    const SettingsStore::Factory makeSettingsStore =
        SettingsStore::userStores(m_registry, std::move(secrets));
    AppStateDependencies dependencies;
    dependencies.desktop = m_desktop;
    dependencies.settingsStore = makeSettingsStore();
    dependencies.analytics = &m_analytics;
    dependencies.providerRegistry = &m_registry;
    dependencies.instructionHistory = &m_instructionHistory;
    dependencies.warmsConnectionOnOpen = true;
    m_appState = std::make_unique<AppState>(std::move(dependencies));
    followSleepAndNetwork();
    m_settingsStore = makeSettingsStore();

    WindowDependencies windows;
    windows.registry = &m_registry;
    windows.analytics = &m_analytics;
    windows.browser = m_desktop.urlOpener.get();
    windows.makeSettingsStore = makeSettingsStore;

    PreferencesDependencies preferences;
    static_cast<WindowDependencies &>(preferences) = windows;
    preferences.shortcuts = m_desktop.shortcuts.get();
    preferences.loginItems = m_desktop.loginItems;
    preferences.commandKeybinding = m_desktop.commandKeybinding;
    preferences.keyboardPermission = m_desktop.keyboardPermission;
    preferences.desktopNotices = m_desktop.notices.capabilities;
    preferences.restartApplication = [this] { restartWithSettings(); };
    preferences.instructionHistory = &m_instructionHistory;
    m_preferences = std::make_unique<PreferencesWindowController>(preferences);
    OnboardingDependencies onboarding;
    static_cast<WindowDependencies &>(onboarding) = windows;
    onboarding.trust = m_desktop.trust;
    onboarding.commandKeybinding = m_desktop.commandKeybinding;
    onboarding.shortcuts = m_desktop.shortcuts.get();
    onboarding.desktopNotices = m_desktop.notices;
    m_onboarding = std::make_unique<OnboardingWindowController>(onboarding);

    m_memoryRelease.setSingleShot(true);
    m_memoryRelease.setInterval(memoryReleaseDelayMs);
    connect(&m_memoryRelease, &QTimer::timeout, this, [] { MemoryRelease::releaseUnusedMemory(); });
    connect(m_preferences.get(), &PreferencesWindowController::windowWillClose, this,
            &AppDelegate::scheduleMemoryRelease);
}

// Connections do not survive a suspend, and may lead nowhere after the
// network changed; requests should not find that out by waiting.
void AppDelegate::followSleepAndNetwork()
{
    connect(new LogindSleepMonitor(QDBusConnection::systemBus(), this),
            &LogindSleepMonitor::resumed, m_appState.get(), &AppState::systemResumed);
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged,
                m_appState.get(), &AppState::networkChanged);
}

AppDelegate::~AppDelegate()
{
    qApp->removeEventFilter(this);
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_analytics.signal(QStringLiteral("App.launched"));
    if (m_desktop.loginItems)
        LaunchAtLoginManager::applyStoredChoice(*m_settingsStore, *m_desktop.loginItems);
    buildStatusItem();
    connect(m_onboarding.get(), &OnboardingWindowController::completed, this,
            &AppDelegate::handleOnboardingCompleted);
    // Settings... (Ctrl+,) and Quit (Ctrl+Q) work in every window of ours.
    qApp->installEventFilter(this);
    m_panelController =
        std::make_unique<CommandPanelController>(*m_appState, m_desktop, m_analytics);
    m_appState->setRequestClose(
        [this, panel = QPointer<CommandPanelController>(m_panelController.get())] {
            if (panel)
                panel->hide();
            scheduleMemoryRelease();
        });
    if (m_desktop.capture)
        m_screenSelection = std::make_unique<ScreenSelectionController>(m_desktop.capture);
    if (m_desktop.shortcuts) {
        UserDefaults settings;
        FirstRunShortcut::apply(*m_desktop.shortcuts, settings, m_desktop.commandKeybinding.get());
        m_desktop.shortcuts->setCommandShortcuts(
            UserCommand::shortcutsOf(m_settingsStore->loadCommands()));
        connect(m_desktop.shortcuts.get(), &GlobalShortcutService::activated, this,
                &AppDelegate::shortcutPressed);
    }
    scheduleMemoryRelease();
    QTimer::singleShot(0, this, [this] {
        // Started at login, only onboarding that is due shows.
        if (!m_environment.startedAtLogin || !m_settingsStore->didCompleteOnboarding())
            showOnboardingIfNeeded();
        else
            updateOnboardingMenuItemVisibility();
    });
}

void AppDelegate::scheduleMemoryRelease()
{
    m_memoryRelease.start();
}

void AppDelegate::buildStatusItem()
{
    m_statusItem = std::make_unique<StatusItem>();
    connect(m_statusItem.get(), &StatusItem::openPreferences, this,
            [this] { openPreferences(QStringLiteral("menu_bar")); });
    connect(m_statusItem.get(), &StatusItem::openOnboarding, this, &AppDelegate::openOnboarding);
    connect(m_statusItem.get(), &StatusItem::startCapture, this,
            [this] { startCapture(ActivationRequest{}); });
    connect(m_statusItem.get(), &StatusItem::openHelpEmail, this, &AppDelegate::openHelpEmail);
    connect(m_statusItem.get(), &StatusItem::quitApp, this, &AppDelegate::quitApp);
    connect(m_statusItem.get(), &StatusItem::menuWillOpen, this,
            &AppDelegate::updateOnboardingMenuItemVisibility);
    updateOnboardingMenuItemVisibility();
    watchTrayHost();
    if (TrayHosts::statusNotifierHostRegistered() || TrayHosts::xembedTrayPresent())
        m_statusItem->showIcon();
    // With a watcher running, its tray is on its way (login races) and
    // announces itself; without one there is no tray to wait for.
    else if (!TrayHosts::statusNotifierWatcherRunning())
        noticeMissingTrayHost();
}

void AppDelegate::watchTrayHost()
{
    // A tray host started after us (autostart races at login) is reached
    // only by an icon created after it appeared.
    m_trayHostWatcher = new QDBusServiceWatcher(trayHostService, QDBusConnection::sessionBus(),
                                                QDBusServiceWatcher::WatchForRegistration, this);
    connect(m_trayHostWatcher, &QDBusServiceWatcher::serviceRegistered, this,
            &AppDelegate::onTrayHostAppeared);
    // The watcher may be there before the tray that shows the icons.
    QDBusConnection::sessionBus().connect(
        trayHostService, QStringLiteral("/StatusNotifierWatcher"), trayHostService,
        QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(onTrayHostAppeared()));
}

void AppDelegate::onTrayHostAppeared()
{
    if (m_statusItem->isIconShown() || !TrayHosts::statusNotifierHostRegistered())
        return;
    qCInfo(lcApp).noquote() << QStringLiteral("A tray host appeared; showing the tray icon.");
    m_statusItem->showIcon();
}

void AppDelegate::noticeMissingTrayHost()
{
    qCInfo(lcApp).noquote() << QStringLiteral("No tray host: the status menu is not shown.");
    UserDefaults settings;
    if (settings.boolValue(SettingsKeys::trayMissingNoticeShown.name) || !m_environment.notify)
        return;
    settings.setValue(SettingsKeys::trayMissingNoticeShown.name, true);
    const auto shortcut = m_desktop.shortcuts
                              ? m_desktop.shortcuts->shortcut(GlobalShortcutService::toggleWrenlark)
                              : std::nullopt;
    m_environment.notify(
        tr("Wrenlark is running"),
        tr("This desktop shows no tray icons. Open Wrenlark with %1 or the command "
           "`wrenlark toggle`; reach its Settings with `wrenlark preferences` or by starting "
           "Wrenlark again from your applications menu.")
            .arg(shortcut ? *shortcut : tr("your shortcut")));
}

void AppDelegate::applicationWillTerminate()
{
    if (std::exchange(m_terminated, true))
        return;
    m_analytics.endUsageSession(UsageSessionEndReason::appTerminated);
    m_appState->cancelActiveSubmitRequest(true);
}

bool AppDelegate::applicationShouldHandleReopen(bool visibleWindows)
{
    if (!m_settingsStore->didCompleteOnboarding() && !visibleWindows)
        showOnboardingIfNeeded();
    return true;
}

void AppDelegate::showOnboardingIfNeeded()
{
    if (!m_settingsStore->didCompleteOnboarding())
        m_onboarding->show();
    updateOnboardingMenuItemVisibility();
}

void AppDelegate::handleOnboardingCompleted()
{
    updateOnboardingMenuItemVisibility();
}

void AppDelegate::updateOnboardingMenuItemVisibility()
{
    if (m_statusItem)
        m_statusItem->updateOnboardingItemVisibility(m_settingsStore->didCompleteOnboarding());
}

void AppDelegate::openPreferences(const QString &source)
{
    m_preferences->show(source);
}

void AppDelegate::openOnboarding()
{
    showOnboardingIfNeeded();
}

void AppDelegate::openHelpEmail(const QString &subject)
{
    const QUrl url = SupportEmail::helpUrl(subject);
    if (!url.isValid() || url.isEmpty()) {
        qCWarning(lcApp).noquote()
            << QStringLiteral("Failed to build help email URL for subject: ") + subject;
        return;
    }
    if (m_desktop.urlOpener)
        m_desktop.urlOpener->openUrl(url);
}

void AppDelegate::quitApp()
{
    QCoreApplication::quit();
}

void AppDelegate::restartWithSettings()
{
    // The next run starts once this one has ended and let go of the bus
    // name, which it would otherwise hand its start over to.
    const bool started = QProcess::startDetached(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("while kill -0 \"$1\" 2>/dev/null; do sleep 0.1; done; "
                        "exec \"$0\" preferences"),
         WrenlarkCommand::path(), QString::number(QCoreApplication::applicationPid())});
    if (!started) {
        qCWarning(lcApp).noquote() << QStringLiteral("Could not start Wrenlark again.");
        return;
    }
    qCInfo(lcApp).noquote() << QStringLiteral("Restarting to read the providers again.");
    quitApp();
}

void AppDelegate::reopen(const ActivationRequest &activation)
{
    takeActivation(activation);
    const bool visible = hasVisibleWindows();
    applicationShouldHandleReopen(visible);
    // Without a tray, starting the application again is the visible way to
    // its Settings.
    if (m_settingsStore->didCompleteOnboarding())
        openPreferences(QStringLiteral("command_line"));
}

void AppDelegate::toggle(const ActivationRequest &activation)
{
    ++m_toggleCount;
    if (!m_panelController)
        return;
    if (m_panelController->isPanelVisible() || m_panelController->hasPendingShow()) {
        m_appState->handleEscape(UsageSessionEndReason::toggleShortcut);
        return;
    }
    // Not while the bar opens: the release walks the whole heap.
    m_memoryRelease.stop();
    m_panelController->show(panelActivationOf(activation));
}

void AppDelegate::runCommand(const QString &shorthand, const ActivationRequest &activation)
{
    if (!m_panelController)
        return;
    if (!m_panelController->isPanelVisible() && !m_panelController->hasPendingShow()) {
        m_panelController->show(panelActivationOf(activation));
    }
    m_appState->runSavedCommand(shorthand);
}

void AppDelegate::shortcutPressed(const QString &name, quint32 timestamp)
{
    const ActivationRequest activation{timestamp, {}, pressActivationToken()};
    if (name == GlobalShortcutService::toggleWrenlark)
        toggle(activation);
    else if (name == GlobalShortcutService::screenSelection)
        startCapture(activation);
    else if (const QUuid id = GlobalShortcutService::commandId(name); !id.isNull())
        runCommandWithId(id, activation);
}

void AppDelegate::runCommandWithId(const QUuid &id, const ActivationRequest &activation)
{
    const QList<UserCommand> commands = m_settingsStore->loadCommands();
    const auto found = std::find_if(commands.cbegin(), commands.cend(),
                                    [&id](const UserCommand &command) { return command.id == id; });
    if (found != commands.cend())
        runCommand(found->command, activation);
}

void AppDelegate::startCapture(const ActivationRequest &activation)
{
    if (!m_panelController || !m_screenSelection || m_screenSelection->isActive())
        return;
    if (m_panelController->isPanelVisible() || m_panelController->hasPendingShow()) {
        m_appState->handleEscape(UsageSessionEndReason::screenSelectionShortcut);
        // The screens are photographed as the user sees them: give the
        // windows under the bar a moment to repaint once it is gone.
        QTimer::singleShot(barGoneDelayMs, this, [this, activation] { beginCapture(activation); });
        return;
    }
    beginCapture(activation);
}

void AppDelegate::beginCapture(const ActivationRequest &activation)
{
    m_screenSelection->captureRegion(
        [this, activation](std::optional<QByteArray> png, const QString &error) {
            if (!error.isEmpty()) {
                qCWarning(lcApp).noquote() << QStringLiteral("Screen capture failed: ") + error;
                if (m_environment.notify)
                    m_environment.notify(tr("Wrenlark could not capture the screen"), error);
                return;
            }
            if (!png)
                return; // abandoned, or a click without a region
            m_panelController->showWithCapturedImage(*png, panelActivationOf(activation));
        });
}

void AppDelegate::showPreferences(const QString &source, const ActivationRequest &activation)
{
    takeActivation(activation);
    openPreferences(source);
}

void AppDelegate::showOnboarding(const ActivationRequest &activation)
{
    takeActivation(activation);
    showOnboardingIfNeeded();
}

void AppDelegate::quit()
{
    quitApp();
}

QVariantMap AppDelegate::diagnostics() const
{
    QVariantMap answer{
        {QStringLiteral("pid"), QCoreApplication::applicationPid()},
        {QStringLiteral("qt_platform"), QGuiApplication::platformName()},
        {QStringLiteral("tray_host"), m_statusItem && m_statusItem->isIconShown()},
        {QStringLiteral("onboarding_complete"), m_settingsStore->didCompleteOnboarding()},
        {QStringLiteral("command_bar"), m_panelController != nullptr},
        {QStringLiteral("toggles"), m_toggleCount},
        {QStringLiteral("bar_visible"), m_panelController && m_panelController->isPanelVisible()},
    };
    if (m_desktop.applications)
        answer.insert(QStringLiteral("frontmost_pid"), m_desktop.applications->frontmostPid());
    if (const auto &shortcuts = m_desktop.shortcuts) {
        const QString &name = GlobalShortcutService::toggleWrenlark;
        answer.insert(QStringLiteral("shortcut"), shortcuts->shortcut(name).value_or(QString()));
        answer.insert(QStringLiteral("shortcut_error"), shortcuts->registrationError(name));
        answer.insert(QStringLiteral("shortcut_mechanism"), shortcuts->mechanismDescription());
    }
    return answer;
}

bool AppDelegate::hasVisibleWindows() const
{
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget *window) {
        return window->isVisible() && !window->inherits("QMenu");
    });
}

QByteArray AppDelegate::pressActivationToken() const
{
    // The desktop's portal may send a token with the press (Wayland).
    return m_desktop.shortcuts ? m_desktop.shortcuts->pressActivationToken() : QByteArray();
}

void AppDelegate::takeActivation(const ActivationRequest &activation)
{
    // The next window shown consumes it (Wayland's xdg-activation).
    if (!activation.activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activation.activationToken);
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Comma) {
            openPreferences(QStringLiteral("keyboard_shortcut"));
            return true;
        }
        if (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Q) {
            quitApp();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
