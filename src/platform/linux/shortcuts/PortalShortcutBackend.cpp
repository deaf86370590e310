#include "platform/linux/shortcuts/PortalShortcutBackend.h"

#include "core/support/Logging.h"
#include "platform/linux/portal/PortalInterfaceVersion.h"
#include "platform/linux/portal/PortalRequestPath.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QTimer>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
// How long a portal method may take to reply (not the user's answer, which
// comes later as the Response).
constexpr int callTimeoutMs = 5000;

struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

bool PortalShortcutBackend::isOffered()
{
    return portalInterfaceVersion(shortcutsInterface) >= 1;
}

PortalShortcutBackend::PortalShortcutBackend(QObject *parent)
    : ShortcutBackend(parent)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
    // Read from the message: a typed slot (o, s, t, a{sv}) was not always
    // accepted by QtDBus, and then no press ever arrived.
    if (!QDBusConnection::sessionBus().connect(portalService, portalPath, shortcutsInterface,
                                               QStringLiteral("Activated"), this,
                                               SLOT(onActivated(QDBusMessage))))
        qCWarning(lcShortcuts).noquote()
            << QStringLiteral("Cannot listen to GlobalShortcuts.Activated");
}

PortalShortcutBackend::~PortalShortcutBackend()
{
    closeSession();
}

QString PortalShortcutBackend::mechanismDescription() const
{
    return QStringLiteral("GlobalShortcuts portal");
}

QString PortalShortcutBackend::bind(const QString &name, const std::optional<ShortcutKey> &key)
{
    if (key)
        m_wanted.insert(name, *key);
    else if (!m_wanted.remove(name))
        return {};
    scheduleBinding();
    return {};
}

void PortalShortcutBackend::scheduleBinding()
{
    // All changes of one turn of the event loop go into one session.
    if (std::exchange(m_bindingScheduled, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_bindingScheduled = false;
        closeSession();
        if (!m_wanted.isEmpty())
            startSession();
    });
}

void PortalShortcutBackend::callWithRequest(const QString &method, QList<QVariant> arguments,
                                            QVariantMap options)
{
    const QString token = portalHandleToken();
    options.insert(QStringLiteral("handle_token"), token);
    const QUuid id = QUuid::createUuid();
    m_pending = PendingRequest{id, method, {}};
    // Listen before calling: the Response may come right after the reply.
    listenOn(portalRequestPath(token));
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    arguments << options;
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, id](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                onCallFinished(id, finished->reply());
            });
}

void PortalShortcutBackend::onCallFinished(const QUuid &id, const QDBusMessage &reply)
{
    if (!m_pending || m_pending->id != id)
        return; // given up meanwhile
    const QString method = m_pending->method;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qCWarning(lcShortcuts).noquote()
            << QStringLiteral("GlobalShortcuts.%1 failed: %2").arg(method, reply.errorMessage());
        cancelRequest();
        refuseAll(tr("The desktop's shortcut portal did not answer."));
        return;
    }
    // Portals before 0.9 chose the request path themselves.
    const QString path = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!path.isEmpty() && path != m_pending->path)
        listenOn(path);
}

void PortalShortcutBackend::listenOn(const QString &requestPath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_pending->path.isEmpty())
        bus.disconnect(portalService, m_pending->path, requestInterface, QStringLiteral("Response"),
                       this, SLOT(onResponse(QDBusMessage)));
    m_pending->path = requestPath;
    bus.connect(portalService, requestPath, requestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(QDBusMessage)));
}

void PortalShortcutBackend::cancelRequest()
{
    if (!m_pending)
        return;
    const PendingRequest pending = *std::exchange(m_pending, std::nullopt);
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.disconnect(portalService, pending.path, requestInterface, QStringLiteral("Response"), this,
                   SLOT(onResponse(QDBusMessage)));
    bus.asyncCall(QDBusMessage::createMethodCall(portalService, pending.path, requestInterface,
                                                 QStringLiteral("Close")));
}

void PortalShortcutBackend::onResponse(const QDBusMessage &message)
{
    if (!m_pending || message.path() != m_pending->path)
        return; // the answer to a request given up
    const PendingRequest pending = *std::exchange(m_pending, std::nullopt);
    QDBusConnection::sessionBus().disconnect(portalService, pending.path, requestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(onResponse(QDBusMessage)));
    const QList<QVariant> arguments = message.arguments();
    const uint response = arguments.value(0).toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(arguments.value(1));
    if (pending.method == QStringLiteral("CreateSession"))
        sessionCreated(response, results);
    else
        shortcutsBound(response, results);
}

void PortalShortcutBackend::refuseAll(const QString &reason)
{
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
        Q_EMIT refused(it.key(), reason);
}

// KDE Plasma's portal (5.27) takes the shortcuts of a session only from
// CreateSession; BindShortcuts there binds nothing new and opens System
// Settings. Others take them from BindShortcuts.
void PortalShortcutBackend::startSession()
{
    callWithRequest(QStringLiteral("CreateSession"), {},
                    {{QStringLiteral("session_handle_token"), portalHandleToken()},
                     {QStringLiteral("shortcuts"), wantedShortcuts()}});
}

QVariant PortalShortcutBackend::wantedShortcuts() const
{
    PortalShortcutList shortcuts;
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
        shortcuts.append({it.key(),
                          {{QStringLiteral("description"), action(it.key()).description},
                           {QStringLiteral("preferred_trigger"), it->freedesktopTrigger()}}});
    return QVariant::fromValue(shortcuts);
}

void PortalShortcutBackend::closeSession()
{
    cancelRequest();
    if (m_session.isEmpty())
        return;
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        portalService, std::exchange(m_session, QString()),
        QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
}

void PortalShortcutBackend::sessionCreated(uint response, const QVariantMap &results)
{
    // Documented as "o"; xdg-desktop-portal sends it typed "s".
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
    if (response != 0 || m_session.isEmpty()) {
        m_session.clear();
        refuseAll(tr("The desktop refused a shortcut session."));
        return;
    }
    if (allBound(results))
        return;
    callWithRequest(QStringLiteral("BindShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(m_session)), wantedShortcuts(), QString()},
                    {});
}

void PortalShortcutBackend::shortcutsBound(uint response, const QVariantMap &results)
{
    if (response != 0) {
        refuseAll(tr("The desktop did not accept the shortcut."));
        return;
    }
    if (allBound(results))
        return;
    // An answer that leaves a shortcut out is no binding of it, whatever
    // the response code says.
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it) {
        if (!m_bound.contains(it.key()))
            Q_EMIT refused(it.key(), tr("The desktop did not bind the shortcut."));
    }
}

bool PortalShortcutBackend::allBound(const QVariantMap &results)
{
    PortalShortcutList bound;
    if (const QVariant list = results.value(QStringLiteral("shortcuts"));
        list.canConvert<QDBusArgument>())
        list.value<QDBusArgument>() >> bound;
    m_bound.clear();
    for (const PortalShortcut &shortcut : std::as_const(bound)) {
        m_bound.insert(shortcut.id);
        qCInfo(lcShortcuts).noquote()
            << QStringLiteral("The desktop bound %1 to %2")
                   .arg(
                       shortcut.id,
                       shortcut.properties.value(QStringLiteral("trigger_description")).toString());
    }
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it) {
        if (!m_bound.contains(it.key()))
            return false;
    }
    return true;
}

void PortalShortcutBackend::onActivated(const QDBusMessage &message)
{
    // Activated(o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QList<QVariant> arguments = message.arguments();
    const QVariant session = arguments.value(0);
    const QString sessionPath = session.metaType() == QMetaType::fromType<QDBusObjectPath>()
                                    ? session.value<QDBusObjectPath>().path()
                                    : session.toString();
    const QString id = arguments.value(1).toString();
    if (m_session.isEmpty() || sessionPath != m_session || !m_wanted.contains(id))
        return;
    const QVariantMap options = qdbus_cast<QVariantMap>(arguments.value(3));
    // An xdg-activation token lets the window shown in answer take focus.
    const QByteArray token = options.value(QStringLiteral("activation_token")).toString().toUtf8();
    qCInfo(lcShortcuts).noquote() << QStringLiteral(
                                         "GlobalShortcuts: %1 pressed, activation token %2")
                                         .arg(id, token.isEmpty() ? QStringLiteral("absent")
                                                                  : QStringLiteral("present"));
    Q_EMIT pressed(id, 0, token);
}
