#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The application's diagnostic log: one file per run, one line per event,
// "<ISO 8601 UTC> [LEVEL] message". Callers on any thread only format and
// enqueue; one serial worker thread does all file access, opening and closing
// the file for every line so a deleted log is re-created by the next line.
// The application writes to it through its logging categories (Logging.h and
// installMessageSink()), not through info() and error().
class FileLogger
{
public:
    // The shared logger, created on first use. Its file is chosen then: see
    // setLogFileName().
    static FileLogger &shared();

    // Name of the log file inside the log directory, "dev.log" by default.
    // Only effective before the first call to shared(); the command line uses
    // its own file so it never truncates the desktop application's log.
    static void setLogFileName(const QString &fileName);

    // $XDG_STATE_HOME/Wrenlark, falling back to ~/.local/state/Wrenlark.
    static QString logDirectory();

    // Makes Qt's message handler write the messages of the application's
    // logging categories (named "wrenlark.*", see Logging.h) through shared():
    // debug and info messages as INFO lines, warnings and worse as ERROR lines.
    // Every other message goes on to the handler that was installed before.
    // The shared logger is only created by the first such message, so this
    // may run before setLogFileName(). Calling it again while the sink is in
    // place changes nothing; after another handler took its place, it goes
    // back in front of that one.
    static void installMessageSink();

    explicit FileLogger(const QString &logFilePath);
    ~FileLogger();
    FileLogger(const FileLogger &) = delete;
    FileLogger &operator=(const FileLogger &) = delete;

    void write(const QString &level, const QString &message);
    void info(const QString &message) { write(QStringLiteral("INFO"), message); }
    void error(const QString &message) { write(QStringLiteral("ERROR"), message); }

    // Blocks until every line enqueued so far has been written. For tests and
    // for orderly shutdown; never needed on the normal path.
    void flush();

    QString logFilePath() const { return m_logFilePath; }

private:
    void run();
    void appendLine(const QByteArray &line);

    const QString m_logFilePath;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_drained;
    std::deque<QByteArray> m_pending;
    bool m_writing = false;
    bool m_stopping = false;
    std::thread m_worker;
};
