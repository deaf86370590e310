#pragma once

#include <QString>
#include <Qt>

// A key combination to synthesize: modifiers plus one key, the key named by
// its X keysym so it is found in whatever keyboard layout is active.
struct KeyChord
{
    Qt::KeyboardModifiers modifiers;
    quint32 keysym = 0;

    // "Ctrl+Shift+C", for log lines.
    QString toString() const;
    friend bool operator==(const KeyChord &, const KeyChord &) = default;
};

namespace KeySyms {
constexpr quint32 c = 0x0063;
constexpr quint32 v = 0x0076;
constexpr quint32 insert = 0xff63;
} // namespace KeySyms

// Types key chords into the focused window through the XTest extension.
// Main thread only.
class XTestKeyboard
{
public:
    static XTestKeyboard &shared();

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
    XTestKeyboard() = default;
};
