#pragma once

#include "platform/linux/shortcuts/ShortcutBackend.h"

#include <QDBusObjectPath>
#include <QHash>
#include <QVariantMap>

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
    void onSessionCreated(uint response, const QVariantMap &results);
    void onBound(uint response, const QVariantMap &results);
    void onActivated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                     const QVariantMap &options);

private:
    void scheduleBinding();
    void startSession();
    void closeSession();
    // Calls a portal method whose answer comes as a Request's Response
    // signal, subscribing to that signal first. False when the call failed.
    bool callWithRequest(const QString &method, QList<QVariant> arguments, QVariantMap options,
                         const char *responseSlot);

    QHash<QString, ShortcutKey> m_wanted;
    QString m_session;
    bool m_bindingScheduled = false;
    QString m_pendingRequest;
};
