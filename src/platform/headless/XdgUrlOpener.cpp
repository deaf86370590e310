#include "platform/headless/XdgUrlOpener.h"

#include <QProcess>

bool XdgUrlOpener::openUrl(const QUrl &url)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}
