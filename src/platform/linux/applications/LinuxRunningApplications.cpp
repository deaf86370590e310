#include "platform/linux/applications/LinuxRunningApplications.h"

#include "platform/linux/applications/ProcessInfo.h"
#include "platform/linux/x11/X11Desktop.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWindow>

qint32 LinuxRunningApplications::frontmostPid()
{
    auto &desktop = X11Desktop::shared();
    return desktop.windowPid(desktop.activeWindow());
}

qint32 LinuxRunningApplications::ownPid()
{
    return qint32(QCoreApplication::applicationPid());
}

std::optional<RunningApplication> LinuxRunningApplications::application(qint32 pid)
{
    auto &desktop = X11Desktop::shared();
    const auto window = desktop.topWindowOfProcess(pid);
    if (window == 0 || !ProcessInfo::exists(pid))
        return std::nullopt;
    RunningApplication app;
    app.pid = pid;
    app.executablePath = ProcessInfo::executablePath(pid);
    app.bundleID = ProcessInfo::applicationID(pid);
    if (app.bundleID.isEmpty()) {
        const QStringList windowClass = desktop.windowClass(window);
        if (windowClass.size() == 2)
            app.bundleID = windowClass.at(1);
    }
    if (app.bundleID.isEmpty())
        app.bundleID = QFileInfo(app.executablePath).fileName();
    return app;
}

bool LinuxRunningApplications::activate(qint32 pid)
{
    auto &desktop = X11Desktop::shared();
    return desktop.activateWindow(desktop.topWindowOfProcess(pid));
}

void LinuxRunningApplications::activateOwnApplication()
{
    if (!qGuiApp)
        return;
    QWindow *window = QGuiApplication::focusWindow();
    if (!window) {
        const auto windows = QGuiApplication::topLevelWindows();
        for (QWindow *candidate : windows) {
            if (candidate->isVisible() && candidate->type() != Qt::ToolTip &&
                candidate->type() != Qt::Popup)
                window = candidate;
        }
    }
    if (!window)
        return;
    window->raise();
    window->requestActivate();
}
