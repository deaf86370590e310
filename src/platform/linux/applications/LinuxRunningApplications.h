#pragma once

#include "core/desktop/RunningApplications.h"

// Applications as the EWMH window manager sees them: a process is a running
// application when it has a managed window. Main thread only.
class LinuxRunningApplications : public RunningApplications
{
public:
    qint32 frontmostPid() override;
    qint32 ownPid() override;
    std::optional<RunningApplication> application(qint32 pid) override;
    bool activate(qint32 pid) override;
    void activateOwnApplication() override;
};
