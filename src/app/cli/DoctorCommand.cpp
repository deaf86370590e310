#include "cli/DoctorCommand.h"

#include "cli/Terminal.h"
#include "core/ai/NetworkProxies.h"
#include "core/desktop/SecretStore.h"
#include "core/providers/AIProvider.h"
#include "core/settings/SettingsStore.h"
#include "shell/ApplicationBus.h"
#include "shell/ShellClient.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>

namespace {

bool portalOffersGlobalShortcuts()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << QStringLiteral("org.freedesktop.portal.GlobalShortcuts") << QStringLiteral("version");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

// Where nothing names a display or a desktop (a login over SSH, a
// container): what the command line can use, without loading the desktop's
// libraries to be told there is no display.
int runWithoutDisplay(const std::shared_ptr<SecretStore> &secrets)
{
    const QString type = qEnvironmentVariable("XDG_SESSION_TYPE");
    const QString session = type.isEmpty() ? QStringLiteral("none")
                                           : QStringLiteral("none (XDG_SESSION_TYPE=%1)").arg(type);
    QList<DoctorCheck> checks{
        DoctorChecks::noDisplayServer(),
        {QStringLiteral("Desktop session"),
         session + QStringLiteral(": no display, so no command bar and no selection to read; "
                                  "`wrenlark ask` works on text from standard input"),
         false, false},
        DoctorChecks::secretService(*secrets),
    };
    checks += DoctorChecks::runningApplication();
    checks += DoctorChecks::providerProxy(secrets);
    return DoctorChecks::print(checks);
}

} // namespace

CliCommand doctorCommand(const std::shared_ptr<SecretStore> &secrets,
                         const DesktopCommands &desktop)
{
    return {
        QStringLiteral("doctor"),
        QString(),
        QStringLiteral("Check what this desktop offers Wrenlark, one line each."),
        QStringLiteral("Checks the display server, the session (X11 or Wayland) and desktop,\n"
                       "whether Wrenlark runs as an X11 or a Wayland client and the method it\n"
                       "takes for synthesized keys and region capture, each with the reason;\n"
                       "the window manager (EWMH), the AT-SPI accessibility bus, XTest, the\n"
                       "Secret Service, a tray host, the route for the global shortcut and the\n"
                       "GlobalShortcuts portal; and, when the Wrenlark application runs, its\n"
                       "Qt platform, whether its shortcut was registered or refused and whether\n"
                       "its tray icon is shown. Without a display it checks what the command\n"
                       "line uses: the Secret Service, the application and the proxy.\n"
                       "\n"
                       "Exit status: 0 when everything reading and replacing selections needs is\n"
                       "there, 1 otherwise."),
        [secrets, desktop](const QStringList &arguments) {
            if (!arguments.isEmpty()) {
                Terminal::printError(QStringLiteral("wrenlark doctor: takes no arguments"));
                return ExitStatus::usage;
            }
            return desktop.doctor ? desktop.doctor() : runWithoutDisplay(secrets);
        },
    };
}

namespace DoctorChecks {

DoctorCheck noDisplayServer()
{
    return {QStringLiteral("Display server"),
            QStringLiteral("none (DISPLAY and WAYLAND_DISPLAY are not set)"), true, false};
}

DoctorCheck secretService(SecretStore &secrets)
{
    const QString name = QStringLiteral("Secret Service (API keys)");
    if (secrets.isAvailable())
        return {name, QStringLiteral("available"), false, true};
    return {name, QStringLiteral("not answering: API keys cannot be stored"), false, false};
}

DoctorCheck shortcutPortal()
{
    const QString name = QStringLiteral("GlobalShortcuts portal");
    if (!ShellClient::busProblem().isEmpty())
        return {name, QStringLiteral("unknown (no session bus)"), false, false};
    return portalOffersGlobalShortcuts()
               ? DoctorCheck{name, QStringLiteral("offered"), false, true}
               : DoctorCheck{name, QStringLiteral("not offered"), false, true};
}

// What the running application found when it registered its shortcut and
// its tray icon; those answers are the ones that count.
QList<DoctorCheck> runningApplication()
{
    const QString name = QStringLiteral("Wrenlark application");
    if (!ShellClient::busProblem().isEmpty())
        return {{name, QStringLiteral("unknown: ") + ShellClient::busProblem(), false, false}};
    if (!ShellClient::isRunning())
        return {{name, QStringLiteral("not running (start it with `wrenlark`)"), false, true}};
    const QDBusMessage reply =
        ShellClient::call(ApplicationBus::shellInterface, QStringLiteral("Diagnostics"), {}, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {{name, QStringLiteral("running but not answering: ") + reply.errorMessage(), false,
                 false}};
    const QVariantMap answer = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
    const QString platform = answer.value(QStringLiteral("qt_platform")).toString();
    QList<DoctorCheck> checks{
        {name,
         QStringLiteral("running (process %1%2)")
             .arg(answer.value(QStringLiteral("pid")).toLongLong())
             .arg(platform.isEmpty() ? QString()
                                     : QStringLiteral(", Qt platform %1").arg(platform)),
         false, true}};
    const QString shortcut = answer.value(QStringLiteral("shortcut")).toString();
    const QString error = answer.value(QStringLiteral("shortcut_error")).toString();
    const QString mechanism = answer.value(QStringLiteral("shortcut_mechanism")).toString();
    if (shortcut.isEmpty())
        checks.append(
            {QStringLiteral("Shortcut of the command bar"),
             error.isEmpty() ? QStringLiteral("none set (choose one in Settings)") : error, false,
             false});
    else if (!error.isEmpty())
        checks.append({QStringLiteral("Shortcut of the command bar"),
                       QStringLiteral("%1 refused: %2").arg(shortcut, error), false, false});
    else
        checks.append({QStringLiteral("Shortcut of the command bar"),
                       QStringLiteral("%1 registered (%2)").arg(shortcut, mechanism), false, true});
    const bool trayHost = answer.value(QStringLiteral("tray_host")).toBool();
    checks.append({QStringLiteral("Tray icon"),
                   trayHost ? QStringLiteral("shown")
                            : QStringLiteral("no tray host; use the shortcut, `wrenlark toggle` "
                                             "and `wrenlark preferences`"),
                   false, trayHost});
    return checks;
}

// Where the current provider's requests go: straight to it, or through the
// proxy the system's settings name.
QList<DoctorCheck> providerProxy(const std::shared_ptr<SecretStore> &secrets)
{
    const SettingsStore store(secrets);
    const AIProviderPointer provider = store.currentProvider();
    const std::optional<QUrl> origin = provider ? store.serviceOrigin(*provider) : std::nullopt;
    if (!origin)
        return {};
    const QString route = NetworkProxies::describeRoute(*origin);
    return {
        {QStringLiteral("Proxy"),
         QStringLiteral("%1 (%2) %3")
             .arg(origin->toString(), provider->displayName(),
                  route == QLatin1String("direct") ? QStringLiteral("is reached directly")
                                                   : QStringLiteral("is reached through ") + route),
         false, true}};
}

int print(const QList<DoctorCheck> &checks)
{
    bool essentialsOk = true;
    QString text;
    for (const DoctorCheck &check : checks) {
        text += QStringLiteral("%1: %2\n").arg(check.name, check.answer);
        essentialsOk = essentialsOk && (check.ok || !check.essential);
    }
    Terminal::writeOutput(text);
    return essentialsOk ? ExitStatus::success : ExitStatus::failure;
}

} // namespace DoctorChecks
