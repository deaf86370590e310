#pragma once

#include "core/desktop/DesktopServices.h"
#include "core/session/InstructionHistory.h"
#include "shell/ShellCommandTarget.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

class AIProviderRegistry;
class AppAnalytics;
class AppState;
class CommandPanelController;
class OnboardingWindowController;
class PreferencesWindowController;
class QDBusServiceWatcher;
class ScreenSelectionController;
class SecretStore;
class SettingsStore;
class StatusItem;

// The application delegate: builds the long-lived objects of the resident
// application in a fixed order, owns them for the whole run, answers the
// tray menu, the global shortcut and the calls of other processes, and
// ends the run in order.
class AppDelegate : public QObject, public ShellCommandTarget
{
    Q_OBJECT

public:
    struct Environment
    {
        // A desktop notification (summary, body).
        std::function<void(const QString &, const QString &)> notify;
        // Started by the login item: no window unless onboarding is due.
        bool startedAtLogin = false;
    };

    // `secrets` is the desktop's secret store, where the settings keep keys.
    AppDelegate(DesktopServices desktop, std::shared_ptr<SecretStore> secrets,
                AppAnalytics &analytics, const AIProviderRegistry &registry,
                Environment environment, QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    // Menu actions.
    void openPreferences(const QString &source = QStringLiteral("menu_bar"));
    void openOnboarding();
    void openHelpEmail(const QString &subject);
    void quitApp();
    // Quits and starts again with Settings open (a provider was added).
    void restartWithSettings();

    void showOnboardingIfNeeded();
    void handleOnboardingCompleted();
    void updateOnboardingMenuItemVisibility();

    // ShellCommandTarget
    void reopen(const ActivationRequest &activation) override;
    void toggle(const ActivationRequest &activation) override;
    void runCommand(const QString &shorthand, const ActivationRequest &activation) override;
    void showPreferences(const QString &source, const ActivationRequest &activation) override;
    void showOnboarding(const ActivationRequest &activation) override;
    void startCapture(const ActivationRequest &activation) override;
    void quit() override;
    QVariantMap diagnostics() const override;

    StatusItem *statusItem() const { return m_statusItem.get(); }

private Q_SLOTS:
    void onTrayHostAppeared();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followSleepAndNetwork();
    void buildStatusItem();
    void watchTrayHost();
    void noticeMissingTrayHost();
    bool hasVisibleWindows() const;
    static void takeActivation(const ActivationRequest &activation);
    QByteArray pressActivationToken() const;
    void shortcutPressed(const QString &name, quint32 timestamp);
    // A saved command's shortcut: the command as it is stored now.
    void runCommandWithId(const QUuid &id, const ActivationRequest &activation);
    void beginCapture(const ActivationRequest &activation);
    // Gives memory back to the system a moment after the application let
    // go of it (start-up done, a bar or Settings closed).
    void scheduleMemoryRelease();

    DesktopServices m_desktop;
    AppAnalytics &m_analytics;
    const AIProviderRegistry &m_registry;
    Environment m_environment;
    InstructionHistory m_instructionHistory;
    std::unique_ptr<AppState> m_appState;
    std::unique_ptr<SettingsStore> m_settingsStore;
    std::unique_ptr<CommandPanelController> m_panelController;
    std::unique_ptr<PreferencesWindowController> m_preferences;
    std::unique_ptr<OnboardingWindowController> m_onboarding;
    std::unique_ptr<ScreenSelectionController> m_screenSelection;
    std::unique_ptr<StatusItem> m_statusItem;
    QPointer<QDBusServiceWatcher> m_trayHostWatcher;
    QTimer m_memoryRelease;
    bool m_terminated = false;
    // Toggles asked for so far (shortcut presses and calls), for diagnostics.
    qint64 m_toggleCount = 0;
};
