#pragma once

#include <QString>

// Whether this application may read and write other applications' text
// through the accessibility interface. On Linux that is the accessibility
// bus being enabled for the session.
class AccessibilityTrust
{
public:
    virtual ~AccessibilityTrust() = default;

    virtual bool isTrusted() = 0;
    // Asks for trust (on Linux: turns the accessibility bus on) and answers
    // whether it is granted now. Applications started before it was granted
    // may not expose their text until restarted: see restartNotice().
    virtual bool requestTrust() = 0;

    static QString restartNotice()
    {
        return QStringLiteral("Applications that were already running may need a restart "
                              "before Wrenlark can read their text.");
    }
};
