#include "platform/linux/desktops/gnome/MutterRemoteDesktopKeys.h"

#include "core/support/Logging.h"
#include "platform/linux/keys/RemoteDesktopPortalKeys.h"
#include "platform/linux/session/SessionBusName.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

namespace {

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");
constexpr int callTimeoutMs = 5000;
// A session stays open this long after its last key, for the keys of the
// same copy or paste that follow.
constexpr int idleCloseMs = 1000;
constexpr int shiftKeysym = 0xffe1;

QDBusMessage sessionCall(const QString &session, const QString &method)
{
    return QDBusMessage::createMethodCall(service, session, sessionInterface, method);
}

} // namespace

bool MutterRemoteDesktopKeys::isOffered()
{
    return SessionBusName::hasOwner(service);
}

MutterRemoteDesktopKeys::MutterRemoteDesktopKeys(QObject *parent)
    : QObject(parent)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleCloseMs);
    connect(&m_idle, &QTimer::timeout, this, &MutterRemoteDesktopKeys::closeSession);
}

MutterRemoteDesktopKeys::~MutterRemoteDesktopKeys()
{
    closeSession();
}

bool MutterRemoteDesktopKeys::isAvailable()
{
    return QDBusConnection::sessionBus().isConnected();
}

bool MutterRemoteDesktopKeys::sendChord(const KeyChord &chord, QString *error)
{
    if (!isAvailable()) {
        if (error)
            *error = tr("GNOME's remote desktop interface cannot be reached.");
        return false;
    }
    m_idle.stop();
    for (const auto &key : RemoteDesktopPortalKeys::keysymSequence(chord))
        m_keyQueue.enqueue(key);
    if (m_state == State::idle)
        openSession();
    else if (m_state == State::running)
        sendNextKey();
    return true;
}

QString MutterRemoteDesktopKeys::mechanismDescription() const
{
    return QStringLiteral("GNOME's remote desktop interface (Mutter)");
}

void MutterRemoteDesktopKeys::openSession()
{
    m_state = State::opening;
    call(QDBusMessage::createMethodCall(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                        service, QStringLiteral("CreateSession")),
         [this](const QDBusMessage &created) {
             m_session = created.arguments().value(0).value<QDBusObjectPath>().path();
             if (created.type() != QDBusMessage::ReplyMessage || m_session.isEmpty())
                 return fail(QStringLiteral("CreateSession"), created);
             QDBusConnection::sessionBus().connect(service, m_session, sessionInterface,
                                                   QStringLiteral("Closed"), this,
                                                   SLOT(onClosed()));
             call(sessionCall(m_session, QStringLiteral("Start")),
                  [this](const QDBusMessage &started) {
                      if (started.type() != QDBusMessage::ReplyMessage)
                          return fail(QStringLiteral("Start"), started);
                      m_state = State::running;
                      // Mutter drops the first key of a new session
                      // (measured on GNOME Shell 43): a Shift goes first.
                      m_keyQueue.prepend({shiftKeysym, 0});
                      m_keyQueue.prepend({shiftKeysym, 1});
                      sendNextKey();
                  });
         });
}

// One event at a time, each once Mutter answered the one before.
void MutterRemoteDesktopKeys::sendNextKey()
{
    if (m_sending)
        return;
    if (m_keyQueue.isEmpty()) {
        m_idle.start();
        return;
    }
    const auto [keysym, pressed] = m_keyQueue.head();
    QDBusMessage notify = sessionCall(m_session, QStringLiteral("NotifyKeyboardKeysym"));
    notify << uint(keysym) << bool(pressed);
    m_sending = true;
    call(notify, [this](const QDBusMessage &reply) {
        m_sending = false;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return fail(QStringLiteral("NotifyKeyboardKeysym"), reply);
        m_keyQueue.dequeue();
        sendNextKey();
    });
}

void MutterRemoteDesktopKeys::fail(const QString &what, const QDBusMessage &reply)
{
    qCWarning(lcDesktop).noquote() << QStringLiteral("Keys: GNOME's remote desktop refused %1: %2")
                                          .arg(what, reply.errorMessage());
    closeSession();
}

void MutterRemoteDesktopKeys::onClosed()
{
    qCInfo(lcDesktop).noquote() << QStringLiteral("Keys: GNOME closed the remote desktop session.");
    m_session.clear();
    closeSession();
}

void MutterRemoteDesktopKeys::closeSession()
{
    m_idle.stop();
    m_keyQueue.clear();
    m_sending = false;
    m_state = State::idle;
    ++m_generation;
    if (m_session.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(service, m_session, sessionInterface, QStringLiteral("Closed"), this,
                   SLOT(onClosed()));
    bus.asyncCall(sessionCall(std::exchange(m_session, {}), QStringLiteral("Stop")));
}

void MutterRemoteDesktopKeys::call(const QDBusMessage &message,
                                   std::function<void(const QDBusMessage &)> then)
{
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(message, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation,
             then = std::move(then)](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (generation == m_generation)
                    then(finished->reply());
            });
}
