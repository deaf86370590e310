#pragma once

#include "platform/linux/keys/KeySynthesizer.h"

#include <QObject>
#include <QPair>
#include <QQueue>
#include <QTimer>
#include <functional>

class QDBusMessage;
class QDBusPendingCallWatcher;

// Keys through GNOME's compositor's own remote desktop interface
// (org.gnome.Mutter.RemoteDesktop), which Mutter offers to the programs of
// the session without asking: GNOME 43's RemoteDesktop portal keeps no
// permission and would ask at every start. A session is opened for the
// keys of one copy or paste and closed a second after the last one, so a
// remote-access indicator GNOME shows for it lasts only that long. Keys
// asked for while it opens wait for it. Main thread only.
class MutterRemoteDesktopKeys : public QObject, public KeySynthesizer
{
    Q_OBJECT

public:
    // Whether Mutter offers the interface on the session bus (asks the bus,
    // waiting at most a second).
    static bool isOffered();

    explicit MutterRemoteDesktopKeys(QObject *parent = nullptr);
    ~MutterRemoteDesktopKeys() override;

    bool isAvailable() override;
    bool sendChord(const KeyChord &chord, QString *error = nullptr) override;
    QString mechanismDescription() const override;

private Q_SLOTS:
    void onClosed();

private:
    enum class State { idle, opening, running };

    void openSession();
    void sendNextKey();
    // Gives up the session and what waits for it, logging why.
    void fail(const QString &what, const QDBusMessage &reply);
    void closeSession();
    // Calls `method` and hands its reply to `then`, unless the session it
    // was made for has ended since.
    void call(const QDBusMessage &message, std::function<void(const QDBusMessage &)> then);

    State m_state = State::idle;
    QString m_session;
    // Counts the sessions given up: a late reply for one is dropped.
    quint64 m_generation = 0;
    QQueue<QPair<int, uint>> m_keyQueue;
    bool m_sending = false;
    QTimer m_idle;
};
