// The shortcut on GNOME Shell: from a key press sent through Mutter's
// RemoteDesktop interface to the bar's window focused, as the shell reports
// it (its focus-window change, stamped with the shell's monotonic clock,
// the same clock as the press). The real `wrenlark` runs with its default
// GNOME shortcut added to GNOME's keyboard settings, as onboarding adds it;
// each open is followed by Escape. Runs inside tests/support/gnome-session;
// see bench/README.md. Not a test.
#include "GnomeShell.h"
#include "ResidentApp.h"
#include "ShortcutPresses.h"
#include "core/support/FileLogger.h"
#include "platform/linux/desktops/gnome/GnomeCommandKeybinding.h"
#include "platform/linux/shortcuts/FirstRunShortcut.h"

#include <QCoreApplication>
#include <QTest>
#include <cstdio>
#include <ctime>

namespace {

qint64 monotonicMicroseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// The shell notes when a window of `pid` takes the focus.
void watchFocusOf(qint64 pid)
{
    GnomeShell::eval(
        QStringLiteral("if (!global._benchFocus) global.display.connect('notify::focus-window', "
                       "() => { const w = global.display.focus_window; const f = "
                       "global._benchFocus; if (w && f && !f.at && w.get_pid() == f.pid) f.at = "
                       "imports.gi.GLib.get_monotonic_time(); }); global._benchFocus = {pid: %1, "
                       "at: 0}; 0")
            .arg(pid));
}

qint64 focusedAt()
{
    return GnomeShell::eval(QStringLiteral("global._benchFocus.at")).toLongLong();
}

} // namespace

int main(int argc, char *argv[])
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    ShortcutPresses::useBinary(WRENLARK_BINARY);
    QCoreApplication app(argc, argv);
    const int presses = ShortcutPresses::count(app.arguments());
    ResidentApp wrenlark;
    if (!ShortcutPresses::start(wrenlark, "bench_gnome_shortcut"))
        return 1;
    GnomeCommandKeybinding keybinding(true, QStringLiteral(WRENLARK_BINARY " toggle"));
    const QString key = FirstRunShortcut::toggleDefaultFor(&keybinding);
    QString error;
    if (key != QLatin1String("Ctrl+Alt+Space") || !keybinding.install(key, &error)) {
        std::fprintf(stderr, "bench_gnome_shortcut: %s not added: %s\n", qPrintable(key),
                     qPrintable(error));
        return 1;
    }
    // gnome-settings-daemon has the shell grab the key.
    if (!QTest::qWaitFor(
            [] {
                return GnomeShell::eval(
                           QStringLiteral("global.display.get_keybinding_action(65, 4 | 8)"))
                           .toInt() != 0;
            },
            20000)) {
        std::fprintf(stderr, "bench_gnome_shortcut: the shell did not grab %s\n", qPrintable(key));
        return 1;
    }
    GnomeShell::Keyboard keyboard;
    QList<double> opens;
    int failures = 0;
    for (int i = 0; i < presses; ++i) {
        watchFocusOf(wrenlark.pid());
        const qint64 pressedAt = monotonicMicroseconds();
        keyboard.press({GnomeShell::keyCtrl, GnomeShell::keyAlt, GnomeShell::keySpace});
        if (!QTest::qWaitFor([] { return focusedAt() != 0; }, 5000)) {
            ++failures;
            continue;
        }
        opens << double(focusedAt() - pressedAt) / 1000.0;
        keyboard.press({GnomeShell::keyEscape});
        (void)QTest::qWaitFor([&] { return GnomeShell::focusedPid() != wrenlark.pid(); }, 5000);
        QTest::qWait(100);
    }
    keybinding.remove(&error);
    ShortcutPresses::print("GNOME Shell", opens, failures);
    return 0;
}
