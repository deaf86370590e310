#include "platform/linux/notifications/DesktopNotifications.h"

#include "core/support/AppMetadata.h"
#include "core/support/Logging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace DesktopNotifications {

void show(const QString &summary, const QString &body)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), AppMetadata::applicationID()}};
    call << QStringLiteral("Wrenlark") << uint(0) << AppMetadata::applicationID() << summary << body
         << QStringList() << hints << int(-1);
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [summary](QDBusPendingCallWatcher *finished) {
                         if (finished->isError())
                             qCInfo(lcDesktop).noquote()
                                 << QStringLiteral("No desktop notification (%1): %2")
                                        .arg(finished->error().message(), summary);
                         finished->deleteLater();
                     });
}

} // namespace DesktopNotifications
