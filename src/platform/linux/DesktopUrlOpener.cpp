#include "platform/linux/DesktopUrlOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>

bool DesktopUrlOpener::openUrl(const QUrl &url)
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) &&
        QDesktopServices::openUrl(url))
        return true;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}
