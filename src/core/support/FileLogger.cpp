#include "core/support/FileLogger.h"

#include "core/support/ControlCharacters.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString &configuredFileName()
{
    static QString name = QStringLiteral("dev.log");
    return name;
}

constexpr mode_t logFileMode = 0600;

// Opens (creating when missing) with owner-only permissions from the start, so
// the log is never readable by others even for an instant.
int openForAppend(const QString &path, bool truncate)
{
    const QByteArray nativePath = QFile::encodeName(path);
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (truncate ? O_TRUNC : 0);
    return ::open(nativePath.constData(), flags, logFileMode);
}

// The handler the sink found in place: Qt's own messages go on to it.
std::atomic<QtMessageHandler> handlerBeforeSink{nullptr};

bool isApplicationCategory(const char *category)
{
    static constexpr char prefix[] = "wrenlark.";
    return category && std::strncmp(category, prefix, sizeof prefix - 1) == 0;
}

void messageSink(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!isApplicationCategory(context.category)) {
        if (const QtMessageHandler before = handlerBeforeSink.load())
            before(type, context, message);
        return;
    }
    const bool isError = type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
    FileLogger &logger = FileLogger::shared();
    logger.write(isError ? QStringLiteral("ERROR") : QStringLiteral("INFO"), message);
    // Qt ends the process after a fatal message: its line goes to disk first.
    if (type == QtFatalMsg)
        logger.flush();
}

} // namespace

QString FileLogger::logDirectory()
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome))
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    return stateHome + QStringLiteral("/Wrenlark");
}

void FileLogger::installMessageSink()
{
    static std::mutex installing;
    std::lock_guard lock(installing);
    // qInstallMessageHandler() answers Qt's default handler when none was set.
    const QtMessageHandler replaced = qInstallMessageHandler(messageSink);
    if (replaced != messageSink)
        handlerBeforeSink.store(replaced);
}

void FileLogger::setLogFileName(const QString &fileName)
{
    configuredFileName() = fileName;
}

FileLogger &FileLogger::shared()
{
    static FileLogger logger([] {
        const QString directory = logDirectory();
        if (!QDir().mkpath(directory))
            return QStringLiteral("./") + configuredFileName();
        return directory + u'/' + configuredFileName();
    }());
    return logger;
}

FileLogger::FileLogger(const QString &logFilePath)
    : m_logFilePath(logFilePath)
{
    // Each run starts with an empty log of its own.
    QFile::remove(m_logFilePath);
    const int fd = openForAppend(m_logFilePath, true);
    if (fd >= 0) {
        ::fchmod(fd, logFileMode);
        ::close(fd);
    }
    m_worker = std::thread([this] { run(); });
}

FileLogger::~FileLogger()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_worker.join();
}

void FileLogger::write(const QString &level, const QString &message)
{
    // The time stamp is the call's, not the write's.
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    // Messages quote servers and files: no control sequence reaches the log.
    QByteArray line = (stamp + QStringLiteral(" [") + level + QStringLiteral("] ") +
                       ControlCharacters::escaped(message))
                          .toUtf8();
    line.append('\n');
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(line));
    }
    m_wake.notify_one();
}

void FileLogger::flush()
{
    std::unique_lock lock(m_mutex);
    m_drained.wait(lock, [this] { return m_pending.empty() && !m_writing; });
}

void FileLogger::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_pending.empty() && m_stopping)
            return;
        QByteArray line = std::move(m_pending.front());
        m_pending.pop_front();
        m_writing = true;
        lock.unlock();
        appendLine(line);
        lock.lock();
        m_writing = false;
        if (m_pending.empty())
            m_drained.notify_all();
    }
}

void FileLogger::appendLine(const QByteArray &line)
{
    // Every failure is silent: the line is lost and the next one tries again.
    const int fd = openForAppend(m_logFilePath, false);
    if (fd < 0)
        return;
    qsizetype written = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written, size_t(line.size() - written));
        if (n <= 0)
            break;
        written += n;
    }
    ::close(fd);
}
