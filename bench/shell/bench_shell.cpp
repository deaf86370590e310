// bench_shell [--presses 50] [--idle-seconds 60] [--binary PATH]
//
// 1. Start-up: from starting `wrenlark` to the StatusNotifierWatcher's
//    StatusNotifierItemRegistered signal for it.
// 2. Idle: resident memory (VmRSS, and how much of it is anonymous memory
//    rather than mapped files) after start-up, and the context switches of
//    all its threads over --idle-seconds (every wake-up is one).
// 3. Shortcut: an XTest Alt+Space press to _NET_ACTIVE_WINDOW naming a
//    window of the application; a second press closes the bar again. The
//    first press (the first bar after start) is also reported on its own.
// 4. Resident memory again, two seconds after the last bar closed.
// 5. `wrenlark preferences` to the Settings window active, the first and the
//    second time (Escape closes it in between), and resident memory after.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <iterator>

namespace {

class RegistrationWaiter : public QObject
{
    Q_OBJECT

public:
    QEventLoop loop;
    QString item;

public Q_SLOTS:
    void registered(const QString &service)
    {
        item = service;
        loop.quit();
    }
};

long statusField(const QString &path, const char *field)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

// VmRSS, and the anonymous part of it (heap, stacks, the rest is mostly
// mapped libraries and fonts).
void printResidentMemory(qint64 pid, const char *when)
{
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const long rss = statusField(proc + QStringLiteral("status"), "VmRSS:");
    const long anonymous = statusField(proc + QStringLiteral("smaps_rollup"), "Anonymous:");
    std::printf("%s resident memory: %.1f MB (anonymous %.1f MB, mapped files and shared "
                "%.1f MB)\n",
                when, double(rss) / 1024.0, double(anonymous) / 1024.0,
                double(rss - anonymous) / 1024.0);
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Context switches of each thread, by thread id.
QHash<QString, long> contextSwitches(qint64 pid)
{
    QHash<QString, long> switches;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString status = tasks.filePath(task) + QStringLiteral("/status");
        switches.insert(task, statusField(status, "voluntary_ctxt_switches:") +
                                  statusField(status, "nonvoluntary_ctxt_switches:"));
    }
    return switches;
}

// The switches between two readings; a thread that ended in between counts
// with nothing, one that started with all of its own.
long switchesBetween(const QHash<QString, long> &before, const QHash<QString, long> &after,
                     int *threadsEnded)
{
    long total = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        total += it.value() - before.value(it.key(), 0);
    *threadsEnded = 0;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        *threadsEnded += after.contains(it.key()) ? 0 : 1;
    return total;
}

unsigned long activeWindow(Display *display, Atom activeAtom)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    unsigned long window = 0;
    if (XGetWindowProperty(display, DefaultRootWindow(display), activeAtom, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        window = *reinterpret_cast<unsigned long *>(data);
    if (data)
        XFree(data);
    return window;
}

long windowPid(Display *display, unsigned long window, Atom pidAtom)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    long pid = 0;
    if (window &&
        XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &after, &data) == Success &&
        data && count == 1)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// Waits until the active window does (or, with `toApp` false, no longer
// does) belong to `pid`. Milliseconds since `clock` started, -1 on time-out.
double waitForActive(Display *display, qint64 pid, bool toApp, const QElapsedTimer &clock)
{
    const Atom activeAtom = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
    while (clock.elapsed() < 3000) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
        const bool isApp = windowPid(display, activeWindow(display, activeAtom), pidAtom) == pid;
        if (isApp == toApp)
            return double(clock.nsecsElapsed()) / 1e6;
        // Wait for the next property change of the root window.
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(display), &fds);
        timeval limit{0, 2000};
        select(ConnectionNumber(display) + 1, &fds, nullptr, nullptr, &limit);
    }
    return -1;
}

void typeKeys(Display *display, std::initializer_list<KeySym> keys)
{
    for (KeySym key : keys)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), True, CurrentTime);
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, *key), False, CurrentTime);
    XFlush(display);
}

// Presses Alt+Space and waits until the active window does (or, with
// `toApp` false, no longer does) belong to `pid`. Milliseconds, -1 on time-out.
double pressAndWait(Display *display, qint64 pid, bool toApp)
{
    QElapsedTimer clock;
    clock.start();
    typeKeys(display, {XK_Alt_L, XK_space});
    return waitForActive(display, pid, toApp, clock);
}

// Runs `wrenlark preferences` and waits until a window of `pid` is active,
// then closes it with Escape. Milliseconds, -1 on time-out.
double openSettings(Display *display, qint64 pid, const QString &binary,
                    const QProcessEnvironment &environment)
{
    QElapsedTimer clock;
    clock.start();
    QProcess command;
    command.setProcessEnvironment(environment);
    command.start(binary, {QStringLiteral("preferences")});
    const double opened = waitForActive(display, pid, true, clock);
    command.waitForFinished(5000);
    typeKeys(display, {XK_Escape});
    QElapsedTimer closing;
    closing.start();
    waitForActive(display, pid, false, closing);
    return opened;
}

double percentile(QList<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(qsizetype(p * double(values.size() - 1) + 0.5));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const auto option = [&](const QString &name, int fallback) {
        const qsizetype at = arguments.indexOf(name);
        return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
    };
    const int presses = option(QStringLiteral("--presses"), 50);
    const int idleSeconds = option(QStringLiteral("--idle-seconds"), 60);
    // Another build of the application, to compare two side by side.
    const qsizetype binaryAt = arguments.indexOf(QStringLiteral("--binary"));
    const QString binary = binaryAt >= 0 && binaryAt + 1 < arguments.size()
                               ? arguments.at(binaryAt + 1)
                               : QStringLiteral(WRENLARK_BINARY);

    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    QSettings(home.filePath(QStringLiteral("config/Wrenlark/Wrenlark.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("did_complete_onboarding"), true);

    RegistrationWaiter waiter;
    QDBusConnection::sessionBus().connect(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.kde.StatusNotifierWatcher"),
        QStringLiteral("StatusNotifierItemRegistered"), &waiter, SLOT(registered(QString)));
    QProcess wrenlark;
    wrenlark.setProcessEnvironment(environment);
    wrenlark.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    wrenlark.start(binary, {});
    QTimer::singleShot(10000, &waiter.loop, &QEventLoop::quit);
    waiter.loop.exec();
    if (waiter.item.isEmpty()) {
        std::fprintf(stderr, "bench_shell: no tray icon registered within 10 s (no tray host?)\n");
        return 1;
    }
    std::printf("start-up to registered tray icon: %.1f ms\n", double(clock.nsecsElapsed()) / 1e6);

    settle(2000);
    const qint64 pid = wrenlark.processId();
    printResidentMemory(pid, "idle");
    const QHash<QString, long> before = contextSwitches(pid);
    QEventLoop idle;
    QTimer::singleShot(idleSeconds * 1000, &idle, &QEventLoop::quit);
    idle.exec();
    int threadsEnded = 0;
    const long woken = switchesBetween(before, contextSwitches(pid), &threadsEnded);
    std::printf("idle wake-ups over %d s: %ld (threads: %lld, %d ended meanwhile)\n", idleSeconds,
                woken, static_cast<long long>(before.size()), threadsEnded);

    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_shell: no X display\n");
        return 1;
    }
    // The active window may be gone by the time its owner is asked for.
    XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    QList<double> opens;
    int failures = 0;
    for (int i = 0; i < presses; ++i) {
        const double open = pressAndWait(display, pid, true);
        if (open < 0) {
            ++failures;
            continue;
        }
        opens << open;
        pressAndWait(display, pid, false);
        usleep(50000);
    }
    std::printf("shortcut press to active bar over %lld presses: p50 %.1f ms, p95 %.1f ms, "
                "max %.1f ms, first %.1f ms, %d without an active bar\n",
                static_cast<long long>(opens.size()), percentile(opens, 0.5),
                percentile(opens, 0.95),
                opens.isEmpty() ? 0.0 : *std::max_element(opens.begin(), opens.end()),
                opens.isEmpty() ? 0.0 : opens.first(), failures);
    settle(2000);
    printResidentMemory(pid, "after the bar sessions,");
    // The command's own start is in both figures; their difference is what
    // the first opening adds.
    const double firstSettings = openSettings(display, pid, binary, environment);
    usleep(200000);
    const double secondSettings = openSettings(display, pid, binary, environment);
    std::printf("`wrenlark preferences` to active Settings: first %.1f ms, second %.1f ms\n",
                firstSettings, secondSettings);
    settle(2000);
    printResidentMemory(pid, "after Settings,");
    XCloseDisplay(display);
    wrenlark.terminate();
    wrenlark.waitForFinished(5000);
    return 0;
}

#include "bench_shell.moc"
