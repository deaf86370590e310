#pragma once

#include <QDBusConnection>
#include <QObject>

// Tells when the machine wakes from a suspend, from logind's PrepareForSleep
// signal (its argument false: the sleep is over). Where there is no system
// bus or no logind it never tells.
class LogindSleepMonitor : public QObject
{
    Q_OBJECT

public:
    explicit LogindSleepMonitor(QDBusConnection bus = QDBusConnection::systemBus(),
                                QObject *parent = nullptr);

Q_SIGNALS:
    void resumed();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
};
