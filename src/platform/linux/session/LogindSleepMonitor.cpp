#include "platform/linux/session/LogindSleepMonitor.h"

#include "core/support/FileLogger.h"

LogindSleepMonitor::LogindSleepMonitor(QDBusConnection bus, QObject *parent)
    : QObject(parent)
{
    bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
                this, SLOT(prepareForSleep(bool)));
}

void LogindSleepMonitor::prepareForSleep(bool sleeping)
{
    FileLogger::shared().info(sleeping ? QStringLiteral("The computer is going to sleep.")
                                       : QStringLiteral("The computer woke up."));
    if (!sleeping)
        Q_EMIT resumed();
}
