#pragma once

#include "platform/linux/keys/KeyChord.h"

#include <QString>
#include <memory>

// Types key chords into the window that has the keyboard focus: XTest on
// X11, the desktop's RemoteDesktop portal on Wayland. Main thread only.
class KeySynthesizer
{
public:
    virtual ~KeySynthesizer() = default;

    // Whether a chord sent now would be typed.
    virtual bool isAvailable() = 0;
    // Whether keys typed while a window of `pid` has the focus reach it.
    virtual bool reaches(qint32 pid)
    {
        Q_UNUSED(pid);
        return true;
    }
    // Sends exactly `chord`; false, with `error` for the user, when nothing
    // was typed.
    virtual bool sendChord(const KeyChord &chord, QString *error = nullptr) = 0;
    // "XTest", "RemoteDesktop portal", for logs and `wrenlark doctor`.
    virtual QString mechanismDescription() const = 0;
};
