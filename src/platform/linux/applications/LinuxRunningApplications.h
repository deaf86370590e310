#pragma once

#include "core/desktop/RunningApplications.h"

#include <memory>

class WindowSource;

// Applications as the desktop's windows show them: a process is a running
// application when it has a window the window source knows. Main thread
// only.
class LinuxRunningApplications : public RunningApplications
{
public:
    explicit LinuxRunningApplications(std::shared_ptr<WindowSource> windows);
    ~LinuxRunningApplications() override;

    qint32 frontmostPid() override;
    qint32 ownPid() override;
    std::optional<RunningApplication> application(qint32 pid) override;
    bool activate(qint32 pid) override;
    void activateOwnApplication() override;

private:
    std::shared_ptr<WindowSource> m_windows;
};
