#include "platform/linux/DesktopUrlOpener.h"

#include "platform/headless/XdgUrlOpener.h"

#include <QDesktopServices>
#include <QGuiApplication>

bool DesktopUrlOpener::openUrl(const QUrl &url)
{
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) &&
        QDesktopServices::openUrl(url))
        return true;
    return XdgUrlOpener().openUrl(url);
}
