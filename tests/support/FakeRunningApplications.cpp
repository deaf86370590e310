#include "support/FakeRunningApplications.h"

FakeRunningApplications::FakeRunningApplications(qint32 ownPid)
    : m_ownPid(ownPid)
{
    addApplication(ownPid, QStringLiteral("com.wrenlark"));
}

std::optional<RunningApplication> FakeRunningApplications::application(qint32 pid)
{
    const auto it = m_apps.constFind(pid);
    if (it == m_apps.cend())
        return std::nullopt;
    return *it;
}

bool FakeRunningApplications::activate(qint32 pid)
{
    if (!m_apps.contains(pid))
        return false;
    m_activations.append(pid);
    if (m_activationHonoured)
        m_frontmost = pid;
    return true;
}

void FakeRunningApplications::activateOwnApplication()
{
    m_activations.append(m_ownPid);
    if (m_activationHonoured)
        m_frontmost = m_ownPid;
}

void FakeRunningApplications::addApplication(qint32 pid, const QString &bundleID,
                                             const QString &executablePath)
{
    m_apps.insert(pid, RunningApplication{pid, bundleID, executablePath});
}
