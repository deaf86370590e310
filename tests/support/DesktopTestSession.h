#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// Desktop tests drive real applications on the private headless desktop of
// tests/support/desktop-session (Xvfb, openbox, AT-SPI, a session bus).
namespace DesktopTestSession {

// Why the private desktop cannot be used here; nothing when it can.
std::optional<QString> unavailableReason();
// Chooses the X11 platform plugin when the private desktop is there (CTest
// sets the offscreen one for all tests). Call before the QApplication.
void preparePlatform();

struct ProcessResult
{
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};
// Runs a program to its end while the event loop keeps turning (this
// process may own a clipboard that the program asks for).
ProcessResult run(const QString &program, const QStringList &arguments, int timeoutMs = 10000,
                  const QByteArray &input = {});
// xdotool with these arguments; true when it succeeded.
bool xdotool(const QStringList &arguments);
// Spins the event loop for a moment.
void settle(int milliseconds);

// The pid of the desktop's active window (_NET_WM_PID); 0 when none.
qint64 activeWindowPid();
// The mapped windows of process `pid` (X window ids), only those titled
// `name` when one is given.
QStringList visibleWindows(qint64 pid, const QString &name = {});
// The text of the accessible named `name` in the application named
// `application`, read over AT-SPI by another process as a screen reader
// reads it: its role on the first line (then its description instead of its
// text, when asked). Empty when there is none.
QString readAccessible(const QString &application, const QString &name, bool description = false);
// Types `instruction` into Wrenlark's focused bar and sends it with Return;
// true once the bar shows it and its response ends with `replyEnd`. Says
// what the bar showed when it did not.
bool askInBar(const QString &instruction, const QString &replyEnd);

// What a screen reader is told by Wrenlark as it happens, over AT-SPI
// (tests/support/atspi-act listen): the texts said by themselves
// (notifications) and where the focus went. Started before the application,
// so it hears from its first event.
class ScreenReader
{
public:
    ScreenReader() = default;
    ~ScreenReader();
    ScreenReader(const ScreenReader &) = delete;
    ScreenReader &operator=(const ScreenReader &) = delete;

    bool start();
    qsizetype timesSaid(const QByteArray &text);
    // The name of the accessible that took the focus last.
    QByteArray focus();
    // Forgets what was said so far.
    void forget();

private:
    void read();

    QProcess m_process;
    QList<QByteArray> m_said;
    QByteArray m_focus;
};

} // namespace DesktopTestSession

// A real application started for a test and stopped (by its pid) when the
// object goes away.
class DesktopApp : public QObject
{
    Q_OBJECT

public:
    // Starts the program and waits until it shows a window. Null on failure,
    // with the reason in `error`.
    static std::unique_ptr<DesktopApp> launch(const QString &program, const QStringList &arguments,
                                              const QStringList &extraEnvironment, QString *error);
    ~DesktopApp() override;

    qint32 pid() const { return qint32(m_process.processId()); }
    QString window() const { return m_window; }
    // Brings its window to the front and waits until it is active.
    bool activate();
    // Types a key sequence (xdotool names, e.g. "ctrl+Home") into it.
    bool keys(const QStringList &sequence);
    // The next line it printed on standard output.
    QString readLine(int timeoutMs = 5000);
    // Writes a command line to its standard input and returns its answer.
    QString ask(const QString &command, int timeoutMs = 5000);

private:
    QProcess m_process;
    QString m_window;
};
