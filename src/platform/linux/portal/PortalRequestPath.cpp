#include "platform/linux/portal/PortalRequestPath.h"

#include <QDBusConnection>
#include <QRandomGenerator>

QString portalHandleToken()
{
    return QStringLiteral("wrenlark%1").arg(QRandomGenerator::system()->generate());
}

QString portalRequestPath(const QString &token)
{
    QString sender = QDBusConnection::sessionBus().baseService();
    sender.remove(0, sender.startsWith(u':') ? 1 : 0).replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}
