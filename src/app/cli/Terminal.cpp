#include "cli/Terminal.h"

#include <QFile>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <cstdio>
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
            result = line;
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
    writeAll(STDOUT_FILENO, text.toUtf8());
}

void writeError(const QString &text)
{
    writeAll(STDERR_FILENO, text.toUtf8());
}

void printError(const QString &line)
{
    writeError(line + u'\n');
}

std::optional<QByteArray> readAllInput()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = input.readAll();
    if (input.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
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
    const auto line = readLineFromTerminal(interrupted);
    if (canHide)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &original);
    if (*interrupted || !line)
        writeError(QStringLiteral("\n"));
    if (!line)
        return std::nullopt;
    return QString::fromUtf8(*line);
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
        Terminal::writeError(QStringLiteral("\r\x1b[K"));
    m_shown = false;
}

void ProgressIndicator::draw()
{
    static const QString frames = QStringLiteral("⠋⠙⠹⠸⠼⠴⠦⠧⠇⠏");
    m_frame = (m_frame + 1) % int(frames.size());
    Terminal::writeError(u'\r' + frames.at(m_frame) + u' ' + m_text);
    m_shown = true;
}
