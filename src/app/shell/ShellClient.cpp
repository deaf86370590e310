#include "shell/ShellClient.h"

#include "core/support/WrenlarkCommand.h"
#include "shell/ApplicationBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

namespace {

// Start-up takes well under a second; a loaded machine gets more.
constexpr int startLimitMs = 15000;

} // namespace

namespace ShellClient {

QString busProblem()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        return {};
    const QString reason = bus.lastError().message();
    return QStringLiteral("no D-Bus session bus%1; is a desktop session running?")
        .arg(reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason));
}

bool isRunning()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(ApplicationBus::serviceName).value();
}

bool start(QString *problem)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        *problem = QStringLiteral("Wrenlark is not running, and it needs a desktop session to "
                                  "start (DISPLAY and WAYLAND_DISPLAY are not set).");
        return false;
    }
    QDBusServiceWatcher watcher(ApplicationBus::serviceName, QDBusConnection::sessionBus(),
                                QDBusServiceWatcher::WatchForRegistration);
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QProcess process;
    process.setProgram(WrenlarkCommand::path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        *problem = QStringLiteral("Wrenlark could not be started: %1").arg(process.errorString());
        return false;
    }
    if (isRunning())
        return true;
    QTimer::singleShot(startLimitMs, &loop, &QEventLoop::quit);
    loop.exec();
    if (isRunning())
        return true;
    *problem = QStringLiteral("Wrenlark did not start; its log is in "
                              "$XDG_STATE_HOME/Wrenlark/dev.log.");
    return false;
}

QDBusMessage call(const QString &interface, const QString &method, const QVariantList &arguments,
                  int timeoutMs)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        ApplicationBus::serviceName, ApplicationBus::objectPath, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, timeoutMs);
}

} // namespace ShellClient
