#include "shell/WrenlarkApp.h"

#include "cli/DesktopSelection.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/support/AppMetadata.h"
#include "core/support/Logging.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "platform/linux/LinuxDesktopServices.h"
#include "platform/linux/notifications/DesktopNotifications.h"
#include "shell/AppDelegate.h"
#include "shell/ApplicationBus.h"
#include "shell/ShellClient.h"
#include "shell/ShellCommandRelay.h"
#include "shell/TerminationSignals.h"

#include <QApplication>
#include <QDBusMessage>
#include <QIcon>
#include <cstdio>

namespace {

// A second start: the running instance treats it as a reopen.
int handOver()
{
    const QDBusMessage reply =
        ShellClient::call(ApplicationBus::applicationInterface, QStringLiteral("Activate"),
                          {ActivationRequest::platformDataFromEnvironment()});
    if (reply.type() == QDBusMessage::ErrorMessage) {
        std::fprintf(stderr, "wrenlark: Wrenlark is already running but did not answer: %s\n",
                     qPrintable(reply.errorMessage()));
        return 1;
    }
    return 0;
}

} // namespace

namespace WrenlarkApp {

bool hasDesktopSession()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

const char *missingDesktopMessage()
{
    return "wrenlark: the Wrenlark application needs a desktop session (DISPLAY and "
           "WAYLAND_DISPLAY are not set); here, use `wrenlark ask` or see what is missing with "
           "`wrenlark doctor`.\n";
}

int run(int &argc, char **argv, bool startedAtLogin)
{
    // The selection and replacement services work through X11 (Xwayland on
    // a Wayland session).
    DesktopSelection::prepareDesktop();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("wrenlark"));
    QCoreApplication::setApplicationVersion(AppMetadata::versionWithBuild());
    // Portals and compositors know the application by its desktop file.
    QGuiApplication::setDesktopFileName(AppMetadata::applicationID());
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/com.wrenlark.Wrenlark.svg")));
    QApplication::setQuitOnLastWindowClosed(false);

    // From here on a SIGTERM waits in the pipe until the run loop can end
    // the run in order.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, [](int number) {
        qCInfo(lcApp).noquote() << QStringLiteral("Signal %1: quitting.").arg(number);
        QCoreApplication::quit();
    });

    // Calls arrive from the event loop, when the delegate has launched.
    ShellCommandRelay shellCommands;
    switch (ApplicationBus::claim(&shellCommands)) {
    case ApplicationBus::Ownership::ownedByAnother:
        return handOver();
    case ApplicationBus::Ownership::noBus:
        qCWarning(lcApp).noquote() << QStringLiteral(
            "No D-Bus session bus: `wrenlark toggle` and a second start cannot reach this "
            "instance.");
        break;
    case ApplicationBus::Ownership::owned:
        break;
    }

    // Analytics reads which providers have keys, so the keyring and the
    // providers come first;
    // then the application's own entry starts analytics before anything else.
    const auto secrets = std::make_shared<LibsecretSecretStore>();
    OpenAIProPlusAuthManager::createShared(secrets);
    const AIProviderRegistry &registry = AIProviderRegistry::shared();
    AppAnalytics &analytics = AppAnalytics::createShared(secrets, registry);
    analytics.initialize();
    LinuxDesktopConnections connections;
    DesktopServices desktop =
        createLinuxDesktopServices(connections, LinuxDesktopRole::residentApplication);

    AppDelegate::Environment environment;
    environment.notify = &DesktopNotifications::show;
    environment.startedAtLogin = startedAtLogin;
    AppDelegate delegate(desktop, secrets, analytics, registry, environment);
    shellCommands.deliverTo(delegate);

    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);

    delegate.applicationDidFinishLaunching();
    qCInfo(lcApp).noquote()
        << QStringLiteral("Wrenlark %1 is running.").arg(AppMetadata::versionWithBuild());
    const int status = QApplication::exec();
    delegate.applicationWillTerminate();
    // A clipboard this process still serves (a restore after a probe, a
    // copied reply) goes to a keeper instead of vanishing with us.
    DesktopSelection::settleClipboard(connections.clipboard);
    analytics.shutdown();
    return status;
}

} // namespace WrenlarkApp
