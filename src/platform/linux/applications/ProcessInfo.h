#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What /proc tells about a process of this user. Thread-safe; every call
// reads afresh (pids are reused).
namespace ProcessInfo {

bool exists(qint32 pid);
// Absolute path of the executable; empty when unreadable.
QString executablePath(qint32 pid);
// The command line's arguments, the program first; empty when unreadable.
QStringList commandLine(qint32 pid);
// One variable of the process's environment; empty when absent or unreadable.
QString environmentValue(qint32 pid, const QByteArray &name);
// The application id of a Flatpak sandbox ("org.mozilla.firefox"), the
// desktop-file id the launcher recorded ("org.gnome.Terminal"), or empty.
QString applicationID(qint32 pid);
// The names a process goes by, lower-cased: its executable's file name, its
// command name (argv[0]'s file name) and its application id.
QStringList names(qint32 pid);

} // namespace ProcessInfo
