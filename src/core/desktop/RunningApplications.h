#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// A running application with a window on the desktop.
struct RunningApplication
{
    qint32 pid = 0;
    // The application's identifier: its desktop-file id when known, else its
    // window class, else its executable's name. Empty when none is known.
    QString bundleID;
    // Absolute path of the executable; empty when unknown.
    QString executablePath;
};

// The desktop's applications: which one is frontmost, and bringing one to
// the front. Called on the main thread; each call is a quick request to the
// display server.
class RunningApplications
{
public:
    virtual ~RunningApplications() = default;

    // Process of the active window; 0 when there is none or it is unknown.
    virtual qint32 frontmostPid() = 0;
    // This process.
    virtual qint32 ownPid() = 0;
    // Absent when no application window belongs to the pid.
    virtual std::optional<RunningApplication> application(qint32 pid) = 0;
    // Asks the window manager to activate the application's most recently
    // used window. False when it has no window.
    virtual bool activate(qint32 pid) = 0;
    // Brings this application's own window to the front, if it has one.
    virtual void activateOwnApplication() = 0;

    // Brings `pid` back to the front after this application borrowed focus:
    // a running other application is activated, anything else (absent, 0,
    // this process, gone) activates this application.
    void restoreFocus(std::optional<qint32> pid);

    // "pid=0", "pid=<pid> bundle=<id or unknown>" for a running
    // application, "pid=<pid> bundle=unresolved" otherwise (for log lines).
    QString logDescription(qint32 pid);
};
