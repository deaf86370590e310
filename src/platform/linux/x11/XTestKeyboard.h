#pragma once

#include "platform/linux/keys/KeyChord.h"

class X11Desktop;

// Types key chords into the focused window through the XTest extension, on
// the display of X11Desktop. Holds nothing of its own. Main thread only.
class XTestKeyboard
{
public:
    explicit XTestKeyboard(X11Desktop &x11)
        : m_x11(x11)
    {
    }

    bool isAvailable();

    // Sends exactly `chord` to the window that has the keyboard focus. Any
    // keyboard grab of this process is dropped first (a still-held global
    // shortcut holds one, and the chord would come back to us), and every
    // key still held down is released, so the target never sees Alt+Ctrl+C
    // or a repeating Space; nothing is pressed again afterwards. A key that
    // the active layout lacks is typed through a spare key code mapped for
    // the moment. False, with `error`, when the chord cannot be typed.
    bool sendChord(const KeyChord &chord, QString *error = nullptr);

private:
    X11Desktop &m_x11;
};
