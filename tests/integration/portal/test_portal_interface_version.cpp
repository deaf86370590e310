// What the desktop portal offers, asked over the session bus: a portal
// still starting when the question comes (D-Bus activation at login) is
// waited for once, a hung one is given up on for good, and an interface
// the portal lacks is version 0.
#include "platform/linux/portal/PortalInterfaceVersion.h"
#include "support/StandInPortal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>
#include <QThread>

// A stand-in for the portal's GlobalShortcuts interface whose answers take
// `delayMs`, on a bus connection and thread of its own: the question is
// asked blocking from the test's thread.
class SlowShortcutsPortal : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit SlowShortcutsPortal(int delayMs)
        : m_delayMs(delayMs)
    {
    }

    uint version() const
    {
        QThread::msleep(ulong(m_delayMs));
        return 1;
    }

private:
    int m_delayMs;
};

class PortalThread : public QThread
{
public:
    explicit PortalThread(int delayMs)
        : m_delayMs(delayMs)
    {
    }

    bool waitUntilServing()
    {
        start();
        return QTest::qWaitFor([this] { return m_serving.loadAcquire() != 0; }, 5000) &&
               StandInPortal::isTaken();
    }

protected:
    void run() override
    {
        SlowShortcutsPortal portal(m_delayMs);
        StandInPortal standIn(QStringLiteral("slow-portal"));
        standIn.serve(&portal, QDBusConnection::ExportAllProperties);
        m_serving.storeRelease(1);
        exec();
    }

private:
    int m_delayMs;
    QAtomicInt m_serving;
};

class PortalInterfaceVersionTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus: run under tests/support/desktop-session");
        if (StandInPortal::isTaken())
            QSKIP("a desktop portal runs on this bus");
    }

    // Ordered: the last case leaves the portal taken as hung.
    void aPortalStillStartingIsWaitedForOnce()
    {
        PortalThread portal(1500);
        QVERIFY(portal.waitUntilServing());
        QCOMPARE(portalInterfaceVersion(QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                        500, 5000),
                 1u);
        // What it lacks it says at once.
        QCOMPARE(portalInterfaceVersion(QStringLiteral("org.freedesktop.portal.RemoteDesktop")),
                 0u);
        portal.quit();
        QVERIFY(portal.wait(10000));
    }

    void noPortalOffersNothing()
    {
        QCOMPARE(portalInterfaceVersion(QStringLiteral("org.freedesktop.portal.Screenshot")), 0u);
    }

    void aHungPortalIsGivenUpOn()
    {
        PortalThread portal(4000);
        QVERIFY(portal.waitUntilServing());
        QCOMPARE(portalInterfaceVersion(QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                        300, 600),
                 0u);
        // Taken as hung: not asked again, though it would answer now.
        QCOMPARE(portalInterfaceVersion(QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                        10000, 10000),
                 0u);
        portal.quit();
        QVERIFY(portal.wait(15000));
    }
};

QTEST_GUILESS_MAIN(PortalInterfaceVersionTest)
#include "test_portal_interface_version.moc"
