// The shortcut on sway: from Alt+Space typed through the virtual-keyboard
// protocol to sway's focus event naming the bar's window, with the key
// bound in sway to run `wrenlark toggle` as the README says; each open is
// followed by Escape. The focus events arrive over sway's IPC (`swaymsg -t
// subscribe`) and are stamped as they arrive. Runs inside
// tests/support/wayland-session; see bench/README.md. Not a test.
#include "ResidentApp.h"
#include "ShortcutPresses.h"
#include "core/support/FileLogger.h"
#include "platform/linux/keys/VirtualKeyboardKeys.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 space = 0x0020;
constexpr quint32 escape = 0xff1b;

bool swaymsg(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("swaymsg"), arguments) == 0;
}

// sway's focus events, each with the focused window's process and when it
// arrived.
class FocusEvents
{
public:
    FocusEvents()
    {
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
        m_clock.start();
        m_process.start(QStringLiteral("swaymsg"),
                        {QStringLiteral("-t"), QStringLiteral("subscribe"), QStringLiteral("-m"),
                         QStringLiteral("[\"window\"]")});
        m_process.waitForStarted();
    }
    ~FocusEvents()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    qint64 now() const { return m_clock.nsecsElapsed(); }
    // When a window of `pid` took the focus after `since`; 0 while none did.
    qint64 focusedAfter(qint64 pid, qint64 since) const
    {
        for (const auto &[at, focused] : m_events) {
            if (at >= since && focused == pid)
                return at;
        }
        return 0;
    }
    qint64 lastFocusedPid() const { return m_events.isEmpty() ? 0 : m_events.last().second; }

private:
    void read()
    {
        const qint64 at = now();
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine();
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            if (event.value(QStringLiteral("change")) == QLatin1String("focus"))
                m_events.append({at, event.value(QStringLiteral("container"))
                                         .toObject()
                                         .value(QStringLiteral("pid"))
                                         .toInteger()});
        }
    }

    QProcess m_process;
    QElapsedTimer m_clock;
    QList<std::pair<qint64, qint64>> m_events;
};

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
    if (!ShortcutPresses::start(wrenlark, "bench_sway_shortcut"))
        return 1;
    // sway runs as another user in the test desktop, without access to its
    // session bus: its binding writes to a pipe, and `wrenlark toggle` is
    // started from here (the hop adds a pipe write and read).
    QTemporaryDir pipeFolder;
    QFile::setPermissions(pipeFolder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                 QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                 QFileDevice::WriteOther | QFileDevice::ExeOther);
    const QString pipePath = pipeFolder.filePath(QStringLiteral("toggle"));
    const int fd = ::mkfifo(QFile::encodeName(pipePath).constData(), 0666) == 0
                       ? ::open(QFile::encodeName(pipePath).constData(), O_RDWR | O_NONBLOCK)
                       : -1;
    if (fd < 0 || ::chmod(QFile::encodeName(pipePath).constData(), 0666) != 0 ||
        !swaymsg({QStringLiteral("bindsym"), QStringLiteral("Mod1+space"), QStringLiteral("exec"),
                  QStringLiteral("echo >") + pipePath})) {
        std::fprintf(stderr, "bench_sway_shortcut: the binding could not be set up\n");
        return 1;
    }
    QSocketNotifier pressed(fd, QSocketNotifier::Read);
    QObject::connect(&pressed, &QSocketNotifier::activated, [&] {
        char buffer[64];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        QProcess::startDetached(QStringLiteral(WRENLARK_BINARY), {QStringLiteral("toggle")});
    });
    VirtualKeyboardKeys keys;
    FocusEvents focus;
    QList<double> opens;
    int failures = 0;
    QString error;
    for (int i = 0; i < presses; ++i) {
        const qint64 pressedAt = focus.now();
        if (!keys.sendChord({Qt::AltModifier, space}, &error)) {
            std::fprintf(stderr, "bench_sway_shortcut: %s\n", qPrintable(error));
            return 1;
        }
        if (!QTest::qWaitFor([&] { return focus.focusedAfter(wrenlark.pid(), pressedAt) != 0; },
                             5000)) {
            ++failures;
            continue;
        }
        opens << double(focus.focusedAfter(wrenlark.pid(), pressedAt) - pressedAt) / 1e6;
        keys.sendChord({{}, escape}, &error);
        (void)QTest::qWaitFor([&] { return focus.lastFocusedPid() != wrenlark.pid(); }, 5000);
        QTest::qWait(100);
    }
    ShortcutPresses::print("sway", opens, failures);
    return 0;
}
