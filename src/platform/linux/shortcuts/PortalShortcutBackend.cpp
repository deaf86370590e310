#include "platform/linux/shortcuts/PortalShortcutBackend.h"

#include "core/support/FileLogger.h"
#include "platform/linux/portal/PortalRequestPath.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QTimer>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

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

QString describe(const QString &name)
{
    if (name == QStringLiteral("toggleWrenlark"))
        return QObject::tr("Open or close the Wrenlark command bar");
    return QObject::tr("Capture a screen region for Wrenlark");
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

bool PortalShortcutBackend::isOffered()
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << shortcutsInterface << QStringLiteral("version");
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 1000).type() ==
           QDBusMessage::ReplyMessage;
}

PortalShortcutBackend::PortalShortcutBackend(QObject *parent)
    : ShortcutBackend(parent)
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcutList>();
    QDBusConnection::sessionBus().connect(
        portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
        SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
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

bool PortalShortcutBackend::callWithRequest(const QString &method, QList<QVariant> arguments,
                                            QVariantMap options, const char *responseSlot)
{
    const QString token = portalHandleToken();
    options.insert(QStringLiteral("handle_token"), token);
    m_pendingRequest = portalRequestPath(token);
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(portalService, m_pendingRequest, requestInterface, QStringLiteral("Response"), this,
                responseSlot);
    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    arguments << options;
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return true;
    bus.disconnect(portalService, m_pendingRequest, requestInterface, QStringLiteral("Response"),
                   this, responseSlot);
    FileLogger::shared().error(
        QStringLiteral("GlobalShortcuts.%1 failed: %2").arg(method, reply.errorMessage()));
    return false;
}

void PortalShortcutBackend::startSession()
{
    QVariantMap options{{QStringLiteral("session_handle_token"), portalHandleToken()}};
    if (!callWithRequest(QStringLiteral("CreateSession"), {}, options,
                         SLOT(onSessionCreated(uint, QVariantMap)))) {
        for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
            Q_EMIT refused(it.key(), tr("The desktop's shortcut portal did not answer."));
    }
}

void PortalShortcutBackend::closeSession()
{
    if (m_session.isEmpty())
        return;
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        portalService, std::exchange(m_session, QString()),
        QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")));
}

void PortalShortcutBackend::onSessionCreated(uint response, const QVariantMap &results)
{
    QDBusConnection::sessionBus().disconnect(portalService, m_pendingRequest, requestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(onSessionCreated(uint, QVariantMap)));
    // The handle is typed "s" by the portal, though it names an object.
    m_session = results.value(QStringLiteral("session_handle")).toString();
    if (response != 0 || m_session.isEmpty()) {
        for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
            Q_EMIT refused(it.key(), tr("The desktop refused a shortcut session."));
        return;
    }
    PortalShortcutList shortcuts;
    for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
        shortcuts.append({it.key(),
                          {{QStringLiteral("description"), describe(it.key())},
                           {QStringLiteral("preferred_trigger"), it->freedesktopTrigger()}}});
    callWithRequest(QStringLiteral("BindShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(m_session)),
                     QVariant::fromValue(shortcuts), QString()},
                    {}, SLOT(onBound(uint, QVariantMap)));
}

void PortalShortcutBackend::onBound(uint response, const QVariantMap &results)
{
    QDBusConnection::sessionBus().disconnect(portalService, m_pendingRequest, requestInterface,
                                             QStringLiteral("Response"), this,
                                             SLOT(onBound(uint, QVariantMap)));
    if (response != 0) {
        for (auto it = m_wanted.cbegin(); it != m_wanted.cend(); ++it)
            Q_EMIT refused(it.key(), tr("The desktop did not accept the shortcut."));
        return;
    }
    PortalShortcutList bound;
    results.value(QStringLiteral("shortcuts")).value<QDBusArgument>() >> bound;
    for (const PortalShortcut &shortcut : std::as_const(bound))
        FileLogger::shared().info(
            QStringLiteral("The desktop bound %1 to %2")
                .arg(shortcut.id,
                     shortcut.properties.value(QStringLiteral("trigger_description")).toString()));
}

void PortalShortcutBackend::onActivated(const QDBusObjectPath &session, const QString &id,
                                        qulonglong, const QVariantMap &)
{
    if (session.path() == m_session && m_wanted.contains(id))
        Q_EMIT pressed(id, 0);
}
