#include "core/desktop/RunningApplications.h"

void RunningApplications::restoreFocus(std::optional<qint32> pid)
{
    if (pid && *pid != 0 && *pid != ownPid() && application(*pid)) {
        activate(*pid);
        return;
    }
    activateOwnApplication();
}

QString RunningApplications::logDescription(qint32 pid)
{
    if (pid == 0)
        return QStringLiteral("pid=0");
    const auto app = application(pid);
    if (!app)
        return QStringLiteral("pid=%1 bundle=unresolved").arg(pid);
    const QString bundle = app->bundleID.isEmpty() ? QStringLiteral("unknown") : app->bundleID;
    return QStringLiteral("pid=%1 bundle=%2").arg(pid).arg(bundle);
}
