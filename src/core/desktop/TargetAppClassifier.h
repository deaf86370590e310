#pragma once

#include <QtGlobal>

// Tells browser-like host processes (web browsers, their web-app shims,
// Electron and embedded-Chromium applications) from other applications. In
// those hosts the accessibility tree is unreliable for reading and writing
// selections, so callers race the clipboard and paste instead. Answers are
// never cached: a pid may be reused.
class TargetAppClassifier
{
public:
    virtual ~TargetAppClassifier() = default;

    // False for pid 0 and for pids without a running application.
    virtual bool isBrowserLikeHostProcess(qint32 pid) const = 0;
};
