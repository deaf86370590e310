#include "platform/linux/portal/PortalInterfaceVersion.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

bool portalHung = false;

bool timedOut(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return false;
    const QDBusError::ErrorType type = QDBusError(reply).type();
    return type == QDBusError::NoReply || type == QDBusError::Timeout ||
           type == QDBusError::TimedOut;
}

} // namespace

uint portalInterfaceVersion(const QString &interface, int timeoutMs, int startupTimeoutMs)
{
    if (portalHung)
        return 0;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << QStringLiteral("version");
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (timedOut(reply))
        reply = bus.call(call, QDBus::Block, startupTimeoutMs);
    if (timedOut(reply))
        portalHung = true;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt();
}
