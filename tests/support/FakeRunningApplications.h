#pragma once

#include "core/desktop/RunningApplications.h"

#include <QHash>
#include <QList>

// A desktop of pretend applications. Activating one makes it frontmost at
// once unless activation is switched off (a window manager that ignores the
// request). Records every activation; ownPid() activations are recorded as
// "self".
class FakeRunningApplications : public RunningApplications
{
public:
    explicit FakeRunningApplications(qint32 ownPid = 1000);

    qint32 frontmostPid() override { return m_frontmost; }
    qint32 ownPid() override { return m_ownPid; }
    std::optional<RunningApplication> application(qint32 pid) override;
    bool activate(qint32 pid) override;
    void activateOwnApplication() override;

    void addApplication(qint32 pid, const QString &bundleID, const QString &executablePath = {});
    void removeApplication(qint32 pid) { m_apps.remove(pid); }
    void setFrontmostPid(qint32 pid) { m_frontmost = pid; }
    void setActivationHonoured(bool honoured) { m_activationHonoured = honoured; }
    // Activated pids in order; the own application appears as its pid.
    const QList<qint32> &activations() const { return m_activations; }

private:
    qint32 m_ownPid;
    qint32 m_frontmost = 0;
    bool m_activationHonoured = true;
    QHash<qint32, RunningApplication> m_apps;
    QList<qint32> m_activations;
};
