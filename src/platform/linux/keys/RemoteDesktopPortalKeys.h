#pragma once

#include "platform/linux/keys/KeySynthesizer.h"

#include <QObject>
#include <QQueue>
#include <QUuid>
#include <QVariantMap>

class QDBusPendingCallWatcher;

// Keys through the desktop's org.freedesktop.portal.RemoteDesktop portal
// (Wayland: GNOME, KDE Plasma). A keyboard-only remote desktop session is
// started in the background; the desktop asks the user as it starts, and the
// session's restore token, kept in the state folder, lets the next run
// start without asking where the desktop persists the consent. Keys asked
// for before the session runs are not typed: that request fails with a
// message, and starts the session when none is starting. Main thread only.
class RemoteDesktopPortalKeys : public QObject, public KeySynthesizer
{
    Q_OBJECT

public:
    enum class State { idle, starting, running };

    // The version of RemoteDesktop the desktop's portal implements, 0 when
    // none (asks the bus, waiting at most a second).
    static uint offeredVersion();
    // $XDG_STATE_HOME/Wrenlark/remote-desktop-restore-token
    static QString defaultTokenFile();
    // The keysyms and states (1 pressed, 0 released) that type `chord`:
    // modifiers down, the key down and up, modifiers up in reverse.
    static QList<QPair<int, uint>> keysymSequence(const KeyChord &chord);

    explicit RemoteDesktopPortalKeys(QString tokenFile = defaultTokenFile(),
                                     QObject *parent = nullptr);
    ~RemoteDesktopPortalKeys() override;

    bool isAvailable() override;
    bool sendChord(const KeyChord &chord, QString *error = nullptr) override;
    QString mechanismDescription() const override;

    bool hasRestoreToken() const;
    // Starts a session unless one is starting or running.
    void startSession();
    // Stops a session being started and closes a running one.
    void cancel();
    // Closes the session and forgets its restore token: the desktop asks
    // again the next time keys are needed.
    void revokePermission();
    State state() const { return m_state; }
    // Why the last session did not start or ended; empty while none failed.
    QString lastError() const { return m_lastError; }

Q_SIGNALS:
    void stateChanged(RemoteDesktopPortalKeys::State state);

private Q_SLOTS:
    void onResponse(uint response, const QVariantMap &results);
    void onSessionClosed(const QVariantMap &details);

private:
    enum class Step { none, createSession, selectDevices, start };

    void request(Step step, const QString &method, QList<QVariant> arguments, QVariantMap options);
    void onRequestReply(QDBusPendingCallWatcher *watcher, const QUuid &attempt);
    void subscribe(const QString &requestPath);
    void unsubscribe();
    void sessionCreated(const QVariantMap &results);
    void started(const QVariantMap &results);
    void fail(const QString &message);
    void closeSession();
    void sendNextKey();
    void setState(State state);
    QString readToken() const;
    void writeToken(const QString &token) const;
    void removeToken() const;

    QString m_tokenFile;
    State m_state = State::idle;
    Step m_step = Step::none;
    // Identifies the session being started; replies of an earlier one are
    // dropped.
    QUuid m_attempt;
    QString m_requestPath;
    QString m_session;
    QString m_lastError;
    // Key events (keysym, 1 pressed or 0 released) not yet answered by the
    // portal, the one on its way first.
    QQueue<QPair<int, uint>> m_keyQueue;
    // Counts the sessions whose keys were dropped: an answer for one of
    // them leaves the queue alone.
    quint64 m_keySessionsDropped = 0;
};
