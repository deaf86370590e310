// The end of a suspend, as logind announces it (PrepareForSleep, false),
// told by the monitor; logind's start of a sleep is not an end. The test
// desktop has no system bus: a stand-in of logind serves on its session bus.
#include "platform/linux/session/LogindSleepMonitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

class LogindSleepMonitorTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wakingUpIsTold()
    {
        QDBusConnection logind =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("logind"));
        QVERIFY(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        LogindSleepMonitor monitor(QDBusConnection::sessionBus());
        QSignalSpy resumed(&monitor, &LogindSleepMonitor::resumed);

        for (const bool sleeping : {true, false}) {
            QDBusMessage signal =
                QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"),
                                           QStringLiteral("PrepareForSleep"));
            signal << sleeping;
            QVERIFY(logind.send(signal));
        }
        QVERIFY(resumed.wait(5000));
        QCOMPARE(resumed.size(), 1);
        logind.unregisterService(QStringLiteral("org.freedesktop.login1"));
        QDBusConnection::disconnectFromBus(QStringLiteral("logind"));
    }
};

QTEST_GUILESS_MAIN(LogindSleepMonitorTest)
#include "test_logind_sleep_monitor.moc"
