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
