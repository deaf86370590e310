#pragma once

#include "platform/linux/keys/KeyChord.h"

#include <QtGlobal>
#include <optional>

class X11Desktop;

// The keystrokes that copy and paste in an application. Ctrl+C and Ctrl+V,
// except in terminal emulators, where Ctrl+C interrupts the running program:
// most of them copy with Ctrl+Shift+C and paste with Ctrl+Shift+V. xterm and
// rxvt send a control character for those too, so nothing is typed to copy
// there (their selection is read from PRIMARY), and they paste PRIMARY with
// Shift+Insert.
struct ClipboardKeys
{
    enum class Kind { ordinary, terminal, primaryTerminal };

    Kind kind = Kind::ordinary;
    std::optional<KeyChord> copy;
    KeyChord paste;
    // The paste keystroke reads PRIMARY rather than CLIPBOARD.
    bool pasteReadsPrimary = false;

    // Main thread only (reads window classes).
    static ClipboardKeys forProcess(qint32 pid, X11Desktop &x11);
    // From the names an application goes by (executable, command, window
    // class), compared without case.
    static ClipboardKeys forNames(const QStringList &names);
};
