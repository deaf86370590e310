#include "platform/linux/accessibility/AtspiBusTrust.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int callTimeoutMilliseconds = 1000;

bool busHasOwner(const QDBusConnection &bus)
{
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(busService);
    return reply.isValid() && reply.value();
}

} // namespace

bool AtspiBusTrust::isTrusted()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !busHasOwner(bus))
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface,
                                                       QStringLiteral("Get"));
    call << statusInterface << QStringLiteral("IsEnabled");
    const QDBusReply<QDBusVariant> reply = bus.call(call, QDBus::Block, callTimeoutMilliseconds);
    return reply.isValid() && reply.value().variant().toBool();
}

bool AtspiBusTrust::requestTrust()
{
    if (isTrusted())
        return true;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // Setting the property starts the bus launcher through D-Bus activation
    // when it is not running yet.
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface,
                                                       QStringLiteral("Set"));
    call << statusInterface << QStringLiteral("IsEnabled")
         << QVariant::fromValue(QDBusVariant(true));
    bus.call(call, QDBus::Block, callTimeoutMilliseconds);
    return isTrusted();
}
