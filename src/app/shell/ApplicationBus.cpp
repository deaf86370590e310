#include "shell/ApplicationBus.h"

#include "shell/ShellCommandTarget.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QTimer>

namespace {

const QString commandLineSource = QStringLiteral("command_line");

void replyError(const QDBusMessage &message, const QString &name, const QString &text)
{
    message.setDelayedReply(true);
    QDBusConnection::sessionBus().send(message.createErrorReply(name, text));
}

// Toggling answers the caller first and opens or closes the bar on the next
// pass of the event loop: `wrenlark toggle` (a desktop's shortcut runs it)
// waits only for its call to arrive, not for the window.
void toggleAfterReply(QObject *context, ShellCommandTarget *target,
                      const ActivationRequest &activation)
{
    QMetaObject::invokeMethod(
        context, [target, activation] { target->toggle(activation); }, Qt::QueuedConnection);
}

} // namespace

namespace ApplicationBus {

Ownership claim(ShellCommandTarget *target)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Ownership::noBus;
    auto *object = new QObject(QCoreApplication::instance());
    new FreedesktopApplicationAdaptor(object, target);
    new ShellAdaptor(object, target);
    if (!bus.registerObject(objectPath, object)) {
        delete object;
        return Ownership::ownedByAnother;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
        return Ownership::owned;
    bus.unregisterObject(objectPath);
    delete object;
    return Ownership::ownedByAnother;
}

} // namespace ApplicationBus

FreedesktopApplicationAdaptor::FreedesktopApplicationAdaptor(QObject *object,
                                                             ShellCommandTarget *target)
    : QDBusAbstractAdaptor(object)
    , m_target(target)
{
}

void FreedesktopApplicationAdaptor::Activate(const QVariantMap &platformData)
{
    m_target->reopen(ActivationRequest::fromPlatformData(platformData));
}

void FreedesktopApplicationAdaptor::Open(const QStringList &, const QVariantMap &,
                                         const QDBusMessage &message)
{
    replyError(message, QStringLiteral("org.freedesktop.DBus.Error.NotSupported"),
               QStringLiteral("Wrenlark opens no files."));
}

void FreedesktopApplicationAdaptor::ActivateAction(const QString &actionName, const QVariantList &,
                                                   const QVariantMap &platformData,
                                                   const QDBusMessage &message)
{
    const ActivationRequest activation = ActivationRequest::fromPlatformData(platformData);
    if (actionName == QStringLiteral("toggle"))
        toggleAfterReply(this, m_target, activation);
    else if (actionName == QStringLiteral("preferences"))
        m_target->showPreferences(QStringLiteral("menu_bar"), activation);
    else
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                   QStringLiteral("No such action: %1").arg(actionName));
}

ShellAdaptor::ShellAdaptor(QObject *object, ShellCommandTarget *target)
    : QDBusAbstractAdaptor(object)
    , m_target(target)
{
}

void ShellAdaptor::Toggle(const QVariantMap &platformData)
{
    toggleAfterReply(this, m_target, ActivationRequest::fromPlatformData(platformData));
}

void ShellAdaptor::RunCommand(const QString &shorthand, const QVariantMap &platformData)
{
    m_target->runCommand(shorthand, ActivationRequest::fromPlatformData(platformData));
}

void ShellAdaptor::ShowPreferences(const QVariantMap &platformData)
{
    m_target->showPreferences(commandLineSource, ActivationRequest::fromPlatformData(platformData));
}

void ShellAdaptor::ShowOnboarding(const QVariantMap &platformData)
{
    m_target->showOnboarding(ActivationRequest::fromPlatformData(platformData));
}

void ShellAdaptor::StartCapture(const QVariantMap &platformData)
{
    m_target->startCapture(ActivationRequest::fromPlatformData(platformData));
}

void ShellAdaptor::Quit()
{
    // After this call's reply has gone out.
    QTimer::singleShot(0, QCoreApplication::instance(), [target = m_target] { target->quit(); });
}

QVariantMap ShellAdaptor::Diagnostics()
{
    return m_target->diagnostics();
}
