#include "support/TestSandbox.h"

#include "core/support/FileLogger.h"

#include <QFile>

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

} // namespace TestSandbox
