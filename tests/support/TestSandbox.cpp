#include "support/TestSandbox.h"

#include "core/support/FileLogger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>

namespace {

// The application's messages reach the log file through FileLogger's message
// sink. Qt Test puts a handler of its own in front when the test run starts,
// one that passes nothing on, so the sink has to go in front of that one.
// Only while a test function runs, never before the run: Qt Test puts back
// the handler it found when the run ends, and were that the sink, it would
// still hand Qt's messages to Qt Test's finished handler.
void keepLogSinkInFront()
{
    if (QTest::currentTestFunction())
        FileLogger::installMessageSink();
}

std::atomic<QLoggingCategory::CategoryFilter> filterBeforeSandbox{nullptr};

// Every logging category goes through the filter before its first message,
// so the application's categories find the sink in front.
void filterCategory(QLoggingCategory *category)
{
    if (const QLoggingCategory::CategoryFilter before = filterBeforeSandbox.load())
        before(category);
    keepLogSinkInFront();
}

void watchLoggingCategories()
{
    filterBeforeSandbox.store(QLoggingCategory::installFilter(filterCategory));
}

} // namespace

// In every test that uses the sandbox's log (flushedLog(), AppStateHarness).
Q_COREAPP_STARTUP_FUNCTION(watchLoggingCategories)

namespace TestSandbox {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString flushedLog()
{
    // Categories first used before the test run started went through the
    // filter too early.
    keepLogSinkInFront();
    FileLogger::shared().flush();
    return QString::fromUtf8(readFile(FileLogger::shared().logFilePath()));
}

std::unique_ptr<QTemporaryDir> makeTemporaryHome()
{
    auto dir = std::make_unique<QTemporaryDir>();
    for (const char *name : {"home", "config", "state", "data", "cache"})
        QDir(dir->path()).mkpath(QString::fromLatin1(name));
    qputenv("HOME", QFile::encodeName(dir->filePath(QStringLiteral("home"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir->filePath(QStringLiteral("config"))));
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir->filePath(QStringLiteral("state"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir->filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir->filePath(QStringLiteral("cache"))));
    qputenv("WRENLARK_TEST_SANDBOX", QFile::encodeName(dir->path()));
    return dir;
}

} // namespace TestSandbox
