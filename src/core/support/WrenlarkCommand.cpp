#include "core/support/WrenlarkCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString &handedOverPath()
{
    static QString path;
    return path;
}

} // namespace

namespace WrenlarkCommand {

void adoptHandedOverPath()
{
    const QFileInfo handedOver(qEnvironmentVariable(pathVariable));
    if (handedOver.isAbsolute() && handedOver.isExecutable())
        handedOverPath() = handedOver.filePath();
    qunsetenv(pathVariable);
}

QString path()
{
    if (!handedOverPath().isEmpty())
        return handedOverPath();
    const QString self = QCoreApplication::applicationFilePath();
    const QFileInfo beside(QFileInfo(self).dir(), QStringLiteral("wrenlark"));
    if (QFileInfo(self).fileName() == QLatin1String(desktopExecutableName) && beside.isExecutable())
        return beside.filePath();
    return self;
}

} // namespace WrenlarkCommand
