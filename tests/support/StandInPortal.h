#pragma once

#include <QDBusConnection>
#include <QString>

class QDBusMessage;

// A stand-in for the desktop portal (org.freedesktop.portal.Desktop) on the
// test desktop's private session bus, on a connection of its own, so the
// code under test calls it as it calls the real portal. Its request and
// session objects are named as xdg-desktop-portal names them.
class StandInPortal
{
public:
    static const QString name;
    static const QString path;

    explicit StandInPortal(const QString &connectionName);
    // Gives up the name and the portal object, and closes the connection.
    ~StandInPortal();
    StandInPortal(const StandInPortal &) = delete;
    StandInPortal &operator=(const StandInPortal &) = delete;

    // Serves `portal` at the portal's path under its name; false when
    // either is taken.
    bool serve(QObject *portal, QDBusConnection::RegisterOptions options);
    // For request and session objects, and signals.
    QDBusConnection &bus() { return m_bus; }

    // "<path>/request/<sender>/<token>" for the caller of `message`.
    static QString requestPath(const QDBusMessage &message, const QString &token);
    static QString sessionPath(const QDBusMessage &message, const QString &token);
    // Whether another portal owns the name on the session bus.
    static bool isTaken();

private:
    QString m_connectionName;
    QDBusConnection m_bus;
};
