#pragma once

#include "core/desktop/TargetAppClassifier.h"

#include <QSet>

// Browser-like exactly for the pids it was told.
class FakeTargetAppClassifier : public TargetAppClassifier
{
public:
    bool isBrowserLikeHostProcess(qint32 pid) const override
    {
        return pid != 0 && m_browserPids.contains(pid);
    }
    void setBrowserLike(qint32 pid, bool browserLike = true)
    {
        if (browserLike)
            m_browserPids.insert(pid);
        else
            m_browserPids.remove(pid);
    }

private:
    QSet<qint32> m_browserPids;
};
