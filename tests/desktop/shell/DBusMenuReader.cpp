#include "DBusMenuReader.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");

DBusMenuEntry readEntry(const QDBusArgument &argument)
{
    DBusMenuEntry entry;
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children.append(readEntry(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return entry;
}

QVariant getProperty(const QDBusConnection &bus, const QString &service, const QString &path,
                     const QString &interface, const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    call << interface << name;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

} // namespace

QString DBusMenuEntry::label() const
{
    return properties.value(QStringLiteral("label")).toString().remove(u'_');
}

bool DBusMenuEntry::isSeparator() const
{
    return properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator");
}

bool DBusMenuEntry::isVisible() const
{
    return properties.value(QStringLiteral("visible"), true).toBool();
}

QString DBusMenuEntry::shortcut() const
{
    const QVariant value = properties.value(QStringLiteral("shortcut"));
    if (!value.isValid())
        return {};
    // aas: one list of key names per chord.
    QStringList chords;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        QStringList keys;
        argument >> keys;
        chords << keys.join(u'+');
    }
    argument.endArray();
    return chords.join(QStringLiteral(", "));
}

DBusMenuReader::DBusMenuReader(QDBusConnection bus)
    : m_bus(std::move(bus))
{
}

QStringList DBusMenuReader::registeredItems() const
{
    return getProperty(m_bus, watcherService, QStringLiteral("/StatusNotifierWatcher"),
                       QStringLiteral("org.kde.StatusNotifierWatcher"),
                       QStringLiteral("RegisteredStatusNotifierItems"))
        .toStringList();
}

bool DBusMenuReader::findItemOf(qint64 pid)
{
    for (const QString &item : registeredItems()) {
        const qsizetype slash = item.indexOf(u'/');
        const QString service = slash < 0 ? item : item.left(slash);
        const QString path = slash < 0 ? QStringLiteral("/StatusNotifierItem") : item.mid(slash);
        if (m_bus.interface()->servicePid(service).value() != pid)
            continue;
        m_service = service;
        m_itemPath = path;
        m_menuPath =
            getProperty(m_bus, m_service, m_itemPath, itemInterface, QStringLiteral("Menu"))
                .value<QDBusObjectPath>()
                .path();
        return !m_menuPath.isEmpty();
    }
    return false;
}

QVariant DBusMenuReader::itemProperty(const QString &name) const
{
    return getProperty(m_bus, m_service, m_itemPath, itemInterface, name);
}

DBusMenuEntry DBusMenuReader::layout() const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_menuPath, menuInterface,
                                                       QStringLiteral("GetLayout"));
    call << 0 << -1 << QStringList();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return {};
    return readEntry(reply.arguments().at(1).value<QDBusArgument>());
}

void DBusMenuReader::aboutToShow(int id) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_menuPath, menuInterface,
                                                       QStringLiteral("AboutToShow"));
    call << id;
    m_bus.call(call, QDBus::Block, 5000);
}

void DBusMenuReader::click(int id) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_menuPath, menuInterface,
                                                       QStringLiteral("Event"));
    call << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(QString()))
         << uint(QDateTime::currentSecsSinceEpoch());
    m_bus.call(call, QDBus::Block, 5000);
}
