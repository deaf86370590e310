#include "platform/linux/applications/ProcessInfo.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString procPath(qint32 pid, const char *entry)
{
    return QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(entry));
}

QByteArray readProcFile(qint32 pid, const char *entry)
{
    QFile file(procPath(pid, entry));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(1 << 20);
}

QString fileNameWithoutDesktopSuffix(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".desktop")))
        name.chop(8);
    return name;
}

} // namespace

namespace ProcessInfo {

bool exists(qint32 pid)
{
    return pid > 0 && QFileInfo::exists(procPath(pid, "stat"));
}

QString executablePath(qint32 pid)
{
    if (pid <= 0)
        return {};
    QString target = QFileInfo(procPath(pid, "exe")).symLinkTarget();
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    return target;
}

QStringList commandLine(qint32 pid)
{
    if (pid <= 0)
        return {};
    QStringList arguments;
    for (const QByteArray &part : readProcFile(pid, "cmdline").split('\0')) {
        if (!part.isEmpty())
            arguments.append(QString::fromLocal8Bit(part));
    }
    return arguments;
}

QString environmentValue(qint32 pid, const QByteArray &name)
{
    if (pid <= 0)
        return {};
    const QByteArray prefix = name + '=';
    for (const QByteArray &entry : readProcFile(pid, "environ").split('\0')) {
        if (entry.startsWith(prefix))
            return QString::fromLocal8Bit(entry.mid(prefix.size()));
    }
    return {};
}

QString applicationID(qint32 pid)
{
    if (pid <= 0)
        return {};
    QFile flatpakInfo(QStringLiteral("/proc/%1/root/.flatpak-info").arg(pid));
    if (flatpakInfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : flatpakInfo.readAll().split('\n')) {
            if (line.startsWith("name="))
                return QString::fromUtf8(line.mid(5)).trimmed();
        }
    }
    if (const QString snap = environmentValue(pid, "SNAP_NAME"); !snap.isEmpty())
        return snap;
    // Children inherit the launcher's variables: the id is this process's
    // only when the recorded pid is its own.
    const QString desktop = environmentValue(pid, "GIO_LAUNCHED_DESKTOP_FILE");
    if (!desktop.isEmpty() &&
        environmentValue(pid, "GIO_LAUNCHED_DESKTOP_FILE_PID") == QString::number(pid))
        return fileNameWithoutDesktopSuffix(desktop);
    return {};
}

QStringList names(qint32 pid)
{
    QStringList result;
    auto add = [&result](const QString &name) {
        const QString lower = name.toLower();
        if (!lower.isEmpty() && !result.contains(lower))
            result.append(lower);
    };
    add(QFileInfo(executablePath(pid)).fileName());
    const QStringList arguments = commandLine(pid);
    if (!arguments.isEmpty())
        add(QFileInfo(arguments.first()).fileName());
    add(applicationID(pid));
    return result;
}

} // namespace ProcessInfo
