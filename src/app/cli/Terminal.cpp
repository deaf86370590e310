#include "cli/Terminal.h"

#include "core/support/ControlCharacters.h"

#include <QScopeGuard>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int spinnerIntervalMilliseconds = 100;

void writeAll(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        written += n;
    }
}

volatile std::sig_atomic_t hiddenReadInterrupted = 0;

void onInterruptDuringHiddenRead(int)
{
    hiddenReadInterrupted = 1;
}

// Reads bytes up to a newline; a signal ends the read (no SA_RESTART).
std::optional<QByteArray> readLineFromTerminal(bool *interrupted)
{
    struct sigaction action = {};
    action.sa_handler = onInterruptDuringHiddenRead;
    sigemptyset(&action.sa_mask);
    struct sigaction previous = {};
    hiddenReadInterrupted = 0;
    sigaction(SIGINT, &action, &previous);

    QByteArray line;
    line.reserve(4096); // a key never outgrows it, so no copy is left behind
    std::optional<QByteArray> result;
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n == 1 && c != '\n' && c != '\r') {
            line.append(c);
            continue;
        }
        if (n < 0 && errno == EINTR && !hiddenReadInterrupted)
            continue;
        if (n == 1 || (n == 0 && !line.isEmpty()))
            result = std::move(line);
        break;
    }
    sigaction(SIGINT, &previous, nullptr);
    *interrupted = hiddenReadInterrupted != 0;
    if (*interrupted)
        return std::nullopt;
    return result;
}

} // namespace

namespace Terminal {

bool standardInputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void writeOutput(const QString &text)
{
    static const bool toTerminal = ::isatty(STDOUT_FILENO) == 1;
    writeAll(STDOUT_FILENO, (toTerminal ? ControlCharacters::stripped(text) : text).toUtf8());
}

void writeError(const QString &text)
{
    writeAll(STDERR_FILENO, ControlCharacters::stripped(text).toUtf8());
}

void printError(const QString &line)
{
    writeError(line + u'\n');
}

std::optional<QByteArray> readAllInput(qsizetype limit, bool *tooLarge)
{
    *tooLarge = false;
    QByteArray bytes;
    char buffer[64 * 1024];
    const auto wipeBuffer = qScopeGuard([&buffer] { ::explicit_bzero(buffer, sizeof buffer); });
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.append(buffer, qsizetype(n));
        if (bytes.size() > limit) {
            *tooLarge = true;
            return std::nullopt;
        }
    }
}

void wipe(QByteArray *bytes)
{
    // Only an unshared buffer is overwritten in place.
    if (!bytes->isDetached())
        return;
    ::explicit_bzero(bytes->data(), size_t(bytes->size()));
}

std::optional<QString> readHiddenLine(const QString &prompt, bool *interrupted)
{
    *interrupted = false;
    writeError(prompt);
    termios original = {};
    const bool canHide = ::tcgetattr(STDIN_FILENO, &original) == 0;
    if (canHide) {
        termios hidden = original;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        hidden.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    auto line = readLineFromTerminal(interrupted);
    if (canHide)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &original);
    if (*interrupted || !line)
        writeError(QStringLiteral("\n"));
    if (!line)
        return std::nullopt;
    const QString text = QString::fromUtf8(*line);
    wipe(&*line);
    return text;
}

} // namespace Terminal

ProgressIndicator::ProgressIndicator(const QString &text, QObject *parent)
    : QObject(parent)
    , m_text(text)
{
    if (!Terminal::standardErrorIsTerminal())
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(spinnerIntervalMilliseconds);
    connect(m_timer, &QTimer::timeout, this, &ProgressIndicator::draw);
    m_timer->start();
    draw();
}

ProgressIndicator::~ProgressIndicator()
{
    stop();
}

void ProgressIndicator::stop()
{
    if (m_timer)
        m_timer->stop();
    if (m_shown)
        writeAll(STDERR_FILENO, "\r\x1b[K");
    m_shown = false;
}

void ProgressIndicator::draw()
{
    static const QString frames = QStringLiteral("⠋⠙⠹⠸⠼⠴⠦⠧⠇⠏");
    m_frame = (m_frame + 1) % int(frames.size());
    writeAll(STDERR_FILENO, '\r' + (frames.at(m_frame) + u' ' + m_text).toUtf8());
    m_shown = true;
}
