#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// Calls from the command line on the running application, over the session
// bus; what went wrong is printed as "wrenlark COMMAND: …".
namespace ApplicationCall {

// Calls `method` with `arguments` on the running application, starting it
// first when `startIfNeeded` and none runs. The exit status.
int call(const QString &command, const QString &method, const QVariantList &arguments,
         bool startIfNeeded);

// A command of no arguments that calls `method`, handing on how the desktop
// started it (its activation token or startup id) unless it quits.
int withoutArguments(const QString &command, const QStringList &arguments, const QString &method,
                     bool startIfNeeded);

} // namespace ApplicationCall
