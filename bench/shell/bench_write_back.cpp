// Ctrl+Return → the reply in the editor, on whichever test desktop this runs
// in (tests/support/desktop-session, wayland-session, gnome-session or
// kde-session): the real `wrenlark` with a local server, the tests' Qt editor
// (a Wayland client where there is a compositor, else an X11 one) with a word
// selected, the bar opened with `wrenlark toggle`, an instruction and Return
// typed with xdotool, the whole reply streamed; then the time from Ctrl+Return
// (xdotool started) to the editor's text changing, stamped by the editor
// itself. Each round writes the word in the other case. With --paste the
// editor runs under a browser's name, so the reply is pasted with its key,
// and on sway and Plasma each round checks the user's clipboard came back.
// See bench/README.md.
// Not a test.
#include "ChatStream.h"
#include "ResidentApp.h"
#include "ShortcutPresses.h"
#include "TestEditor.h"
#include "WaylandClipboard.h"
#include "support/DesktopTestSession.h"
#include "support/TestHttpServer.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QTest>
#include <cstdio>

using DesktopTestSession::readAccessible;
using DesktopTestSession::xdotool;

namespace {

// The X11 window with the focus is the bar (under XWayland too).
bool barFocused()
{
    const auto result =
        DesktopTestSession::run(QStringLiteral("xdotool"), {QStringLiteral("getactivewindow"),
                                                            QStringLiteral("getwindowname")});
    return result.exitCode == 0 && result.output.trimmed() == "Wrenlark";
}

// One round: the selected `from` replaced by `to`; milliseconds from
// Ctrl+Return to the editor's change, or a negative number with what failed.
double writeBack(ResidentApp &wrenlark, TestEditor &editor, TestHttpServer &server,
                 const QString &from, const QString &to, bool checkClipboard)
{
    const QString kept = QStringLiteral("kept ") + to;
    if (checkClipboard) {
        WaylandClipboard::setText(kept);
        if (!QTest::qWaitFor([&] { return WaylandClipboard::text() == kept; }, 5000))
            return std::fprintf(stderr, "the clipboard could not be set\n"), -1;
    }
    if (editor.ask(QStringLiteral("select ") + from).startsWith(QLatin1String("selected none")))
        return std::fprintf(stderr, "no \"%s\" to select\n", qPrintable(from)), -1;
    server.enqueue("POST", ChatStream::chatPath, ChatStream::reply({to.toUtf8()}, 0));
    wrenlark.runCommand({QStringLiteral("toggle")});
    if (!QTest::qWaitFor(barFocused, 5000))
        return std::fprintf(stderr, "the bar did not take the focus\n"), -1;
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"),
             QStringLiteral("swap case")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    if (!QTest::qWaitFor(
            [&] {
                return readAccessible(QStringLiteral("wrenlark"), QStringLiteral("Response"))
                    .endsWith(to);
            },
            10000))
        return std::fprintf(stderr, "no reply in the bar\n"), -1;
    const QString expected = QStringLiteral("hello %1 foo").arg(to);
    const qint64 pressedAt = QDateTime::currentMSecsSinceEpoch();
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Return")});
    if (!QTest::qWaitFor([&] { return editor.documentText() == expected; }, 10000))
        return std::fprintf(stderr, "the editor says \"%s\"\n", qPrintable(editor.documentText())),
               -1;
    const qint64 changedAt = editor.ask(QStringLiteral("changed")).section(u' ', 1).toLongLong();
    // The bar closes and the editor takes the focus back before the next round.
    (void)QTest::qWaitFor([] { return !barFocused(); }, 5000);
    QTest::qWait(300);
    if (checkClipboard && !QTest::qWaitFor([&] { return WaylandClipboard::text() == kept; }, 3000))
        return std::fprintf(stderr, "the clipboard came back as \"%s\"\n",
                            qPrintable(WaylandClipboard::text())),
               -1;
    return double(changedAt - pressedAt);
}

} // namespace

int main(int argc, char *argv[])
{
    ShortcutPresses::useBinary(WRENLARK_BINARY);
    // xdotool types into the bar, an X11 client everywhere.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int rounds = ShortcutPresses::count(app.arguments());
    TestHttpServer server;
    ResidentApp wrenlark;
    if (!wrenlark.configureProvider(server.url(QString::fromLatin1(ChatStream::chatPath))) ||
        !ShortcutPresses::start(wrenlark, "bench_write_back"))
        return 1;
    TestEditor editor;
    // --paste: the editor under a browser's name, into which a reply is
    // pasted with its paste key (and the user's clipboard put back).
    const bool paste = app.arguments().contains(QStringLiteral("--paste"));
    if (paste)
        editor.setProgramName(QStringLiteral("firefox"));
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!editor.start(QStringLiteral("hello world foo"), QStringLiteral("Editor"),
                      wayland ? QStringLiteral("wayland") : QStringLiteral("xcb"))) {
        std::fprintf(stderr, "bench_write_back: the editor did not start\n");
        return 1;
    }
    QTest::qWait(500);
    // Where another client can reach the Wayland clipboard (data control),
    // each pasted round checks that the user's clipboard came back.
    const bool checkClipboard =
        paste && wayland && !qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"GNOME");
    QList<double> writes;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const bool lower = i % 2 == 0;
        const double ms = writeBack(
            wrenlark, editor, server, lower ? QStringLiteral("world") : QStringLiteral("WORLD"),
            lower ? QStringLiteral("WORLD") : QStringLiteral("world"), checkClipboard);
        if (ms < 0) {
            ++failures;
            const QString log = wrenlark.log();
            std::fprintf(stderr, "%s\n", qPrintable(log.mid(log.lastIndexOf(u'\n', -2000))));
            break;
        }
        writes << ms;
    }
    const QString log = wrenlark.log();
    const qsizetype pasted = log.count(QStringLiteral("using paste fallback")) +
                             log.count(QStringLiteral("falling back to paste"));
    std::printf("%s: Ctrl+Return to the text in a %s editor over %lld rounds (%lld pasted, the "
                "rest written over accessibility): p50 %.1f ms, p95 %.1f ms, %d failed\n",
                qPrintable(qEnvironmentVariable("XDG_CURRENT_DESKTOP", QStringLiteral("X11"))),
                wayland ? "Wayland" : "X11", static_cast<long long>(writes.size()),
                static_cast<long long>(pasted), ShortcutPresses::percentile(writes, 0.5),
                ShortcutPresses::percentile(writes, 0.95), failures);
    return failures == 0 ? 0 : 1;
}
