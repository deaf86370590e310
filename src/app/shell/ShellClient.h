#pragma once

#include <QDBusMessage>
#include <QString>
#include <QVariantList>

// The side of `wrenlark toggle`, `preferences`, `quit`, `doctor` and of a
// second start: calls on the running application over the session bus.
namespace ShellClient {

// Why the session bus cannot be used; empty when it can.
QString busProblem();
bool isRunning();
// Starts the resident application detached (with this process's display,
// without its activation token, which the call hands over instead) and
// waits until it owns its name. False, with the reason, when it did not.
bool start(QString *problem);
// Calls `method` of `interface` on the running application.
QDBusMessage call(const QString &interface, const QString &method, const QVariantList &arguments,
                  int timeoutMs = 5000);

} // namespace ShellClient
