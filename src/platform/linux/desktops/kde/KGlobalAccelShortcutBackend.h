#pragma once

#include "platform/linux/shortcuts/ShortcutBackend.h"

#include <QHash>
#include <QUuid>

class QDBusMessage;
class QDBusPendingCallWatcher;

// Global shortcuts through KDE's own shortcut service, kglobalaccel (KWin
// runs it on Plasma), the way KDE's programs register theirs. The
// GlobalShortcuts portal of Plasma 5.27 names a shortcut's owner after the
// caller's application id, which it cannot find for a program started
// outside a systemd application scope: it files each session under a new
// name and binds nothing a key fires. Here the shortcuts live under one
// component, "wrenlark", which System Settings lists as "Wrenlark".
//
// The key asked for is set as given (never one kglobalaccel remembers), and
// what kglobalaccel answers is what counts: a key another component holds
// comes back empty and is refused with that component's name. A key the
// user sets in System Settings is followed. Main thread only; only
// desktopUseOf() waits for an answer.
class KGlobalAccelShortcutBackend : public ShortcutBackend
{
    Q_OBJECT

public:
    // Whether kglobalaccel runs on the session bus (asks the bus, waiting at
    // most a second).
    static bool isOffered();

    explicit KGlobalAccelShortcutBackend(QObject *parent = nullptr);
    // Leaves the keys to others while Wrenlark is not running, as KDE's
    // programs do at exit; kglobalaccel keeps them for the next start.
    ~KGlobalAccelShortcutBackend() override;

    QString mechanismDescription() const override;
    QString bind(const QString &name, const std::optional<ShortcutKey> &key) override;
    std::optional<QString> desktopUseOf(const ShortcutKey &key) const override;

private Q_SLOTS:
    void onPressed(const QString &component, const QString &action, qlonglong timestamp);
    // yourShortcutsChanged: the user set a key of ours in System Settings.
    void onChanged(const QDBusMessage &message);

private:
    void onAssigned(const QString &name, const ShortcutKey &key, const QUuid &attempt,
                    QDBusPendingCallWatcher *watcher);
    void refuseTaken(const QString &name, const ShortcutKey &key);

    // The latest bind() of each name with a key: a late answer to an
    // earlier one is dropped.
    QHash<QString, QUuid> m_attempts;
};
