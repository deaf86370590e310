#include "platform/linux/keys/RemoteDesktopPortalKeys.h"

#include "core/support/FileLogger.h"
#include "core/support/Logging.h"
#include "platform/linux/portal/PortalInterfaceVersion.h"
#include "platform/linux/portal/PortalRequestPath.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint keyboardDevice = 1;
// Kept until the user revokes it.
constexpr uint persistUntilRevoked = 2;
constexpr uint responseSuccess = 0;
constexpr uint responseCancelled = 1;

constexpr int controlKeysym = 0xffe3;
constexpr int keyCallTimeoutMs = 5000;
constexpr int shiftKeysym = 0xffe1;
constexpr int altKeysym = 0xffe9;
constexpr int superKeysym = 0xffeb;

} // namespace

uint RemoteDesktopPortalKeys::offeredVersion()
{
    return portalInterfaceVersion(remoteDesktopInterface);
}

QString RemoteDesktopPortalKeys::defaultTokenFile()
{
    return FileLogger::logDirectory() + QStringLiteral("/remote-desktop-restore-token");
}

QList<QPair<int, uint>> RemoteDesktopPortalKeys::keysymSequence(const KeyChord &chord)
{
    QList<int> modifiers;
    if (chord.modifiers & Qt::ControlModifier)
        modifiers << controlKeysym;
    if (chord.modifiers & Qt::ShiftModifier)
        modifiers << shiftKeysym;
    if (chord.modifiers & Qt::AltModifier)
        modifiers << altKeysym;
    if (chord.modifiers & Qt::MetaModifier)
        modifiers << superKeysym;
    QList<QPair<int, uint>> sequence;
    for (int modifier : std::as_const(modifiers))
        sequence.append({modifier, 1});
    sequence.append({int(chord.keysym), 1});
    sequence.append({int(chord.keysym), 0});
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
        sequence.append({*it, 0});
    return sequence;
}

RemoteDesktopPortalKeys::RemoteDesktopPortalKeys(QString tokenFile, QObject *parent)
    : QObject(parent)
    , m_tokenFile(std::move(tokenFile))
{
}

RemoteDesktopPortalKeys::~RemoteDesktopPortalKeys()
{
    // The desktop ends the session itself when this process leaves the bus.
    if (QCoreApplication::instance())
        cancel();
}

bool RemoteDesktopPortalKeys::isAvailable()
{
    return m_state == State::running;
}

bool RemoteDesktopPortalKeys::sendChord(const KeyChord &chord, QString *error)
{
    if (m_state != State::running) {
        // Asking starts the session: the desktop shows its dialog, and the
        // next request is typed once the user allowed it.
        startSession();
        if (error)
            *error = tr("Wrenlark cannot type keys here yet: allow it when your desktop asks, "
                        "then try again.");
        return false;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        if (error)
            *error = tr("The desktop's remote desktop portal cannot be reached.");
        return false;
    }
    const bool sending = !m_keyQueue.isEmpty();
    for (const auto &key : keysymSequence(chord))
        m_keyQueue.enqueue(key);
    if (!sending)
        sendNextKey();
    return true;
}

// One key event at a time, each once the portal answered the one before:
// xdg-desktop-portal handles method calls in threads of its own, so events
// sent together may reach the desktop out of order (a key released before
// it was pressed, a modifier left held).
void RemoteDesktopPortalKeys::sendNextKey()
{
    if (m_keyQueue.isEmpty())
        return;
    const auto [keysym, pressed] = m_keyQueue.head();
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, remoteDesktopInterface, QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << keysym << pressed;
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, keyCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, dropped = m_keySessionsDropped](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (dropped != m_keySessionsDropped)
                    return; // for a session that has ended since
                if (finished->isError())
                    qCWarning(lcKeys).noquote() << QStringLiteral("A key event was refused: %1")
                                                       .arg(finished->error().message());
                // The rest goes on even so: it releases what was pressed.
                m_keyQueue.dequeue();
                sendNextKey();
            });
}

QString RemoteDesktopPortalKeys::mechanismDescription() const
{
    return QStringLiteral("RemoteDesktop portal");
}

bool RemoteDesktopPortalKeys::hasRestoreToken() const
{
    return !readToken().isEmpty();
}

void RemoteDesktopPortalKeys::startSession()
{
    if (m_state != State::idle)
        return;
    if (!QDBusConnection::sessionBus().isConnected()) {
        m_lastError = tr("Typing keys needs the session bus, which is not reachable.");
        return;
    }
    m_attempt = QUuid::createUuid();
    m_lastError.clear();
    setState(State::starting);
    request(Step::createSession, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), portalHandleToken()}});
}

void RemoteDesktopPortalKeys::cancel()
{
    if (!m_requestPath.isEmpty())
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            portalService, m_requestPath, requestInterface, QStringLiteral("Close")));
    unsubscribe();
    closeSession();
    m_attempt = QUuid();
    m_step = Step::none;
    setState(State::idle);
}

void RemoteDesktopPortalKeys::revokePermission()
{
    cancel();
    removeToken();
    qCInfo(lcKeys).noquote() << QStringLiteral("Keys: the permission to type keys was revoked.");
}

void RemoteDesktopPortalKeys::request(Step step, const QString &method, QList<QVariant> arguments,
                                      QVariantMap options)
{
    const QString token = portalHandleToken();
    options.insert(QStringLiteral("handle_token"), token);
    m_step = step;
    // Listen before calling: the answer may come before the call's reply.
    subscribe(portalRequestPath(token));
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktopInterface, method);
    arguments << options;
    call.setArguments(arguments);
    auto *watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, attempt = m_attempt](QDBusPendingCallWatcher *finished) {
                onRequestReply(finished, attempt);
            });
}

void RemoteDesktopPortalKeys::onRequestReply(QDBusPendingCallWatcher *watcher, const QUuid &attempt)
{
    watcher->deleteLater();
    if (attempt != m_attempt)
        return;
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        fail(tr("The desktop's remote desktop portal did not answer: %1")
                 .arg(reply.error().message()));
        return;
    }
    // Portals older than the handle_token convention pick their own path.
    if (const QString path = reply.value().path(); path != m_requestPath) {
        unsubscribe();
        subscribe(path);
    }
}

void RemoteDesktopPortalKeys::subscribe(const QString &requestPath)
{
    m_requestPath = requestPath;
    QDBusConnection::sessionBus().connect(portalService, requestPath, requestInterface,
                                          QStringLiteral("Response"), this,
                                          SLOT(onResponse(uint, QVariantMap)));
}

void RemoteDesktopPortalKeys::unsubscribe()
{
    if (m_requestPath.isEmpty())
        return;
    QDBusConnection::sessionBus().disconnect(portalService, m_requestPath, requestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(onResponse(uint, QVariantMap)));
    m_requestPath.clear();
}

void RemoteDesktopPortalKeys::onResponse(uint response, const QVariantMap &results)
{
    unsubscribe();
    const Step step = std::exchange(m_step, Step::none);
    if (response != responseSuccess) {
        if (step == Step::start)
            removeToken();
        fail(response == responseCancelled
                 ? tr("You did not allow Wrenlark to type keys; it asks again on the next "
                      "request.")
                 : tr("The desktop refused a remote desktop session for typing keys."));
        return;
    }
    switch (step) {
    case Step::createSession:
        return sessionCreated(results);
    case Step::selectDevices:
        request(Step::start, QStringLiteral("Start"),
                {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {});
        return;
    case Step::start:
        return started(results);
    case Step::none:
        break;
    }
}

void RemoteDesktopPortalKeys::sessionCreated(const QVariantMap &results)
{
    // Documented as "o"; xdg-desktop-portal sends it typed "s".
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
    if (m_session.isEmpty()) {
        fail(tr("The desktop's remote desktop portal gave no session."));
        return;
    }
    QDBusConnection::sessionBus().connect(portalService, m_session, sessionInterface,
                                          QStringLiteral("Closed"), this,
                                          SLOT(onSessionClosed(QVariantMap)));
    QVariantMap options{{QStringLiteral("types"), keyboardDevice},
                        {QStringLiteral("persist_mode"), persistUntilRevoked}};
    if (const QString token = readToken(); !token.isEmpty())
        options.insert(QStringLiteral("restore_token"), token);
    request(Step::selectDevices, QStringLiteral("SelectDevices"),
            {QVariant::fromValue(QDBusObjectPath(m_session))}, options);
}

void RemoteDesktopPortalKeys::started(const QVariantMap &results)
{
    if (!(results.value(QStringLiteral("devices")).toUInt() & keyboardDevice)) {
        fail(tr("The desktop did not grant Wrenlark a keyboard."));
        return;
    }
    if (const QString token = results.value(QStringLiteral("restore_token")).toString();
        !token.isEmpty())
        writeToken(token);
    qCInfo(lcKeys).noquote() << QStringLiteral("Keys: the RemoteDesktop portal session runs.");
    setState(State::running);
}

void RemoteDesktopPortalKeys::onSessionClosed(const QVariantMap &)
{
    qCInfo(lcKeys).noquote() << QStringLiteral(
        "Keys: the desktop closed the RemoteDesktop session.");
    QDBusConnection::sessionBus().disconnect(portalService, m_session, sessionInterface,
                                             QStringLiteral("Closed"), this,
                                             SLOT(onSessionClosed(QVariantMap)));
    m_session.clear();
    m_lastError = tr("The desktop ended Wrenlark's permission to type keys.");
    cancel();
}

void RemoteDesktopPortalKeys::fail(const QString &message)
{
    qCWarning(lcKeys).noquote() << QStringLiteral("Keys: ") + message;
    cancel();
    m_lastError = message;
}

void RemoteDesktopPortalKeys::closeSession()
{
    // What was not typed yet is dropped with its session.
    m_keyQueue.clear();
    ++m_keySessionsDropped;
    if (m_session.isEmpty())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                   SLOT(onSessionClosed(QVariantMap)));
    bus.asyncCall(QDBusMessage::createMethodCall(portalService, std::exchange(m_session, {}),
                                                 sessionInterface, QStringLiteral("Close")));
}

void RemoteDesktopPortalKeys::setState(State state)
{
    if (std::exchange(m_state, state) != state)
        Q_EMIT stateChanged(state);
}

QString RemoteDesktopPortalKeys::readToken() const
{
    QFile file(m_tokenFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

void RemoteDesktopPortalKeys::writeToken(const QString &token) const
{
    QDir().mkpath(QFileInfo(m_tokenFile).absolutePath());
    QSaveFile file(m_tokenFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(token.toUtf8()) < 0 || !file.commit())
        qCWarning(lcKeys).noquote()
            << QStringLiteral("Keys: the remote desktop restore token was not saved to %1: %2")
                   .arg(m_tokenFile, file.errorString());
}

void RemoteDesktopPortalKeys::removeToken() const
{
    QFile::remove(m_tokenFile);
}
