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
    // Inside an AppImage the running files sit in a mount that changes with
    // every run and goes with it; the AppImage file itself is the command.
    const QString appImage = qEnvironmentVariable("APPIMAGE");
    if (!appImage.isEmpty() && QFileInfo(appImage).isFile())
        return appImage;
    if (!handedOverPath().isEmpty())
        return handedOverPath();
    const QString self = QCoreApplication::applicationFilePath();
    const QFileInfo beside(QFileInfo(self).dir(), QStringLiteral("wrenlark"));
    if (QFileInfo(self).fileName() == QLatin1String(desktopExecutableName) && beside.isExecutable())
        return beside.filePath();
    return self;
}

} // namespace WrenlarkCommand
