#include "support/StandInPortal.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

// The caller's unique name without the colon, dots as underscores.
QString senderPart(const QDBusMessage &message)
{
    QString sender = message.service().mid(1);
    return sender.replace(u'.', u'_');
}

} // namespace

const QString StandInPortal::name = QStringLiteral("org.freedesktop.portal.Desktop");
const QString StandInPortal::path = QStringLiteral("/org/freedesktop/portal/desktop");

StandInPortal::StandInPortal(const QString &connectionName)
    : m_connectionName(connectionName)
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName))
{
}

StandInPortal::~StandInPortal()
{
    m_bus.unregisterObject(path);
    m_bus.unregisterService(name);
    QDBusConnection::disconnectFromBus(m_connectionName);
}

bool StandInPortal::serve(QObject *portal, QDBusConnection::RegisterOptions options)
{
    return m_bus.registerObject(path, portal, options) && m_bus.registerService(name);
}

QString StandInPortal::requestPath(const QDBusMessage &message, const QString &token)
{
    return path + QStringLiteral("/request/") + senderPart(message) + u'/' + token;
}

QString StandInPortal::sessionPath(const QDBusMessage &message, const QString &token)
{
    return path + QStringLiteral("/session/") + senderPart(message) + u'/' + token;
}

bool StandInPortal::isTaken()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name);
}
