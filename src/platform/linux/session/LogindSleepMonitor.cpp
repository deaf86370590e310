#include "platform/linux/session/LogindSleepMonitor.h"

#include "core/support/Logging.h"

LogindSleepMonitor::LogindSleepMonitor(QDBusConnection bus, QObject *parent)
    : QObject(parent)
{
    bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                this, SLOT(prepareForSleep(bool)));
}

void LogindSleepMonitor::prepareForSleep(bool sleeping)
{
    qCInfo(lcDesktop).noquote() << (sleeping ? QStringLiteral("The computer is going to sleep.")
                                             : QStringLiteral("The computer woke up."));
    if (!sleeping)
        Q_EMIT resumed();
}
