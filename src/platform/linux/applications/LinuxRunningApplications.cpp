#include "platform/linux/applications/LinuxRunningApplications.h"

#include "platform/linux/applications/ProcessInfo.h"
#include "platform/linux/applications/WindowSource.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QWindow>

LinuxRunningApplications::LinuxRunningApplications(std::shared_ptr<WindowSource> windows)
    : m_windows(std::move(windows))
{
}

LinuxRunningApplications::~LinuxRunningApplications() = default;

qint32 LinuxRunningApplications::frontmostPid()
{
    return m_windows->focusedWindowPid();
}

qint32 LinuxRunningApplications::ownPid()
{
    return qint32(QCoreApplication::applicationPid());
}

std::optional<RunningApplication> LinuxRunningApplications::application(qint32 pid)
{
    const std::optional<QString> windowClass = m_windows->windowClassOf(pid);
    if (!windowClass || !ProcessInfo::exists(pid))
        return std::nullopt;
    RunningApplication app;
    app.pid = pid;
    app.executablePath = ProcessInfo::executablePath(pid);
    app.bundleID = ProcessInfo::applicationID(pid);
    if (app.bundleID.isEmpty())
        app.bundleID = *windowClass;
    if (app.bundleID.isEmpty())
        app.bundleID = QFileInfo(app.executablePath).fileName();
    return app;
}

bool LinuxRunningApplications::activate(qint32 pid)
{
    return m_windows->focusWindowOf(pid);
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
    if (window)
        m_windows->focusOwnWindow(window);
}
