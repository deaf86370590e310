#include "support/TestSandbox.h"

#include "core/support/FileLogger.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
