#pragma once

#include "platform/linux/shortcuts/ShortcutBackend.h"

#include <QDBusObjectPath>
#include <QHash>
#include <QSet>
#include <QUuid>
#include <QVariantMap>
#include <optional>

class QDBusMessage;

// Global shortcuts through the org.freedesktop.portal.GlobalShortcuts portal
// (Wayland desktops that offer it). A portal session binds its shortcuts
// once, and desktops forget them between runs, so every start (and every
// change) opens a fresh session and binds all shortcuts in it. The desktop
// shows the user its own dialog and may pick another trigger than the one
// we prefer; what it answers is reported.
class PortalShortcutBackend : public ShortcutBackend
{
    Q_OBJECT

public:
    // Whether the desktop's portal implements GlobalShortcuts (asks the bus,
    // waiting at most a second).
    static bool isOffered();

    explicit PortalShortcutBackend(QObject *parent = nullptr);
    ~PortalShortcutBackend() override;

    QString mechanismDescription() const override;
    QString bind(const QString &name, const std::optional<ShortcutKey> &key) override;

private Q_SLOTS:
    void onResponse(const QDBusMessage &message);
    void onActivated(const QDBusMessage &message);

private:
    // The portal call waiting for its Request's Response: CreateSession, then
    // BindShortcuts. `id` tells a current answer from one of a call given up.
    struct PendingRequest
    {
        QUuid id;
        QString method;
        QString path;
    };

    void scheduleBinding();
    void startSession();
    void closeSession();
    void sessionCreated(uint response, const QVariantMap &results);
    void shortcutsBound(uint response, const QVariantMap &results);
    // The shortcuts asked for, as the portal reads them (a(sa{sv})).
    QVariant wantedShortcuts() const;
    // Logs what the desktop bound; true when it bound every one asked for.
    bool allBound(const QVariantMap &results);
    // Calls a portal method whose answer comes as a Request's Response
    // signal, subscribing to that signal first. Never blocks: the method's
    // reply and the Response are handled when they come.
    void callWithRequest(const QString &method, QList<QVariant> arguments, QVariantMap options);
    void onCallFinished(const QUuid &id, const QDBusMessage &reply);
    void listenOn(const QString &requestPath);
    // Gives up the pending request, if any: stops listening and asks the
    // portal to close it (and any dialog it shows).
    void cancelRequest();
    void refuseAll(const QString &reason);

    QHash<QString, ShortcutKey> m_wanted;
    // The ids the desktop said it bound, in its last answer.
    QSet<QString> m_bound;
    QString m_session;
    bool m_bindingScheduled = false;
    std::optional<PendingRequest> m_pending;
};
