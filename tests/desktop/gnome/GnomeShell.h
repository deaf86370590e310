#pragma once

#include <QDBusInterface>
#include <QList>
#include <QString>
#include <memory>

// GNOME Shell from outside, for tests and benchmarks on the private headless
// shell of tests/support/gnome-session (whose test extension allows Eval).
namespace GnomeShell {

// The script's value as JSON text; empty when the shell refused it.
QString eval(const QString &script);
// The process of the window with the focus, 0 when none.
qint64 focusedPid();

constexpr uint keyEscape = 1;
constexpr uint keyCtrl = 29;
constexpr uint keyAlt = 56;
constexpr uint keySpace = 57;

// Keys as a keyboard types them, through Mutter's own remote desktop.
class Keyboard
{
public:
    Keyboard();
    ~Keyboard();

    bool isReady() const { return m_session != nullptr; }
    // Evdev key codes, pressed in order and released in reverse.
    void press(const QList<uint> &codes);

private:
    std::unique_ptr<QDBusInterface> m_session;
};

} // namespace GnomeShell
