#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

class ShellCommandTarget;

// The running application on the session bus: the name
// com.wrenlark.Wrenlark, the object /com/wrenlark/Wrenlark with org.freedesktop.Application (what a
// desktop entry with DBusActivatable=true calls) and com.wrenlark.Shell (what the `wrenlark
// toggle`, `preferences` and `quit` commands call).
//
// Calls with wrong arguments are answered by QtDBus with an error before
// they reach us; unknown actions get errors of our own.
namespace ApplicationBus {

inline const QString serviceName = QStringLiteral("com.wrenlark.Wrenlark");
inline const QString objectPath = QStringLiteral("/com/wrenlark/Wrenlark");
inline const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
inline const QString shellInterface = QStringLiteral("com.wrenlark.Shell");

enum class Ownership { owned, ownedByAnother, noBus };

// Exports the object and asks for the name. `target` receives the calls
// (they are delivered from the event loop, so it may be set up before the
// loop runs). With ownedByAnother nothing stays exported.
Ownership claim(ShellCommandTarget *target);

} // namespace ApplicationBus

class FreedesktopApplicationAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    FreedesktopApplicationAdaptor(QObject *object, ShellCommandTarget *target);

public Q_SLOTS:
    void Activate(const QVariantMap &platformData);
    void Open(const QStringList &uris, const QVariantMap &platformData,
              const QDBusMessage &message);
    void ActivateAction(const QString &actionName, const QVariantList &parameter,
                        const QVariantMap &platformData, const QDBusMessage &message);

private:
    ShellCommandTarget *m_target;
};

class ShellAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.wrenlark.Shell")

public:
    ShellAdaptor(QObject *object, ShellCommandTarget *target);

public Q_SLOTS:
    void Toggle(const QVariantMap &platformData);
    void RunCommand(const QString &shorthand, const QVariantMap &platformData);
    void ShowPreferences(const QVariantMap &platformData);
    void ShowOnboarding(const QVariantMap &platformData);
    void StartCapture(const QVariantMap &platformData);
    void Quit();
    QVariantMap Diagnostics();

private:
    ShellCommandTarget *m_target;
};
