#include "platform/linux/desktops/kde/KGlobalAccelShortcutBackend.h"

#include "core/support/Logging.h"
#include "platform/linux/session/SessionBusName.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QKeyCombination>
#include <QKeySequence>

namespace {

const QString service = QStringLiteral("org.kde.kglobalaccel");
const QString registryPath = QStringLiteral("/kglobalaccel");
const QString registryInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString component = QStringLiteral("wrenlark");
// kglobalaccel's object for the component: its name with every character
// but letters, digits and '_' replaced by '_'.
const QString componentPath = QStringLiteral("/component/wrenlark");
const QString componentInterface = QStringLiteral("org.kde.kglobalaccel.Component");
constexpr int callTimeoutMs = 5000;
// setShortcutKeys flags. SetPresent: a running program owns the action.
// NoAutoloading: set the keys given, not those kept from an earlier run.
constexpr uint setPresent = 2;
constexpr uint noAutoloading = 4;

// A QKeySequence as kglobalaccel passes it: (ai), four key combinations
// with unused ones 0.
struct KeySequence
{
    QList<int> keys;
};

// KGlobalShortcutInfo: (ssssssaiai).
struct ShortcutInfo
{
    QString action;
    QString actionFriendly;
    QString component;
    QString componentFriendly;
    QString context;
    QString contextFriendly;
    QList<int> keys;
    QList<int> defaultKeys;
};

QDBusArgument &operator<<(QDBusArgument &argument, const KeySequence &sequence)
{
    argument.beginStructure();
    argument << sequence.keys;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, KeySequence &sequence)
{
    argument.beginStructure();
    argument >> sequence.keys;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const ShortcutInfo &info)
{
    argument.beginStructure();
    argument << info.action << info.actionFriendly << info.component << info.componentFriendly
             << info.context << info.contextFriendly << info.keys << info.defaultKeys;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, ShortcutInfo &info)
{
    argument.beginStructure();
    argument >> info.action >> info.actionFriendly >> info.component >> info.componentFriendly >>
        info.context >> info.contextFriendly >> info.keys >> info.defaultKeys;
    argument.endStructure();
    return argument;
}

int combined(const ShortcutKey &key)
{
    return QKeyCombination(key.modifiers(), key.key()).toCombined();
}

// kglobalaccel's name of an action: component, action, and how System
// Settings shows each.
QStringList actionId(const QString &name, const ShortcutBackend::Action &action)
{
    return {component, name, QStringLiteral("Wrenlark"), action.description};
}

QDBusMessage registryCall(const QString &method, const QList<QVariant> &arguments)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, registryPath, registryInterface, method);
    call.setArguments(arguments);
    return call;
}

QDBusMessage holdersCall(const ShortcutKey &key)
{
    return registryCall(QStringLiteral("getGlobalShortcutsByKey"), {combined(key)});
}

// Who else holds the key, from getGlobalShortcutsByKey's answer: "KRunner",
// or "KWin (Window Operations Menu)".
std::optional<QString> otherHolder(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    QList<ShortcutInfo> holders;
    reply.arguments().constFirst().value<QDBusArgument>() >> holders;
    for (const ShortcutInfo &holder : std::as_const(holders)) {
        if (holder.component == component)
            continue;
        if (holder.actionFriendly.isEmpty() || holder.actionFriendly == holder.componentFriendly)
            return holder.componentFriendly;
        return QStringLiteral("%1 (%2)").arg(holder.componentFriendly, holder.actionFriendly);
    }
    return std::nullopt;
}

} // namespace

Q_DECLARE_METATYPE(KeySequence)
Q_DECLARE_METATYPE(ShortcutInfo)

bool KGlobalAccelShortcutBackend::isOffered()
{
    return SessionBusName::hasOwner(service);
}

KGlobalAccelShortcutBackend::KGlobalAccelShortcutBackend(QObject *parent)
    : ShortcutBackend(parent)
{
    qDBusRegisterMetaType<KeySequence>();
    qDBusRegisterMetaType<QList<KeySequence>>();
    qDBusRegisterMetaType<ShortcutInfo>();
    qDBusRegisterMetaType<QList<ShortcutInfo>>();
    if (!QDBusConnection::sessionBus().connect(service, componentPath, componentInterface,
                                               QStringLiteral("globalShortcutPressed"), this,
                                               SLOT(onPressed(QString, QString, qlonglong))))
        qCWarning(lcDesktop).noquote() << QStringLiteral("Cannot listen to kglobalaccel's presses");
    if (!QDBusConnection::sessionBus().connect(service, registryPath, registryInterface,
                                               QStringLiteral("yourShortcutsChanged"), this,
                                               SLOT(onChanged(QDBusMessage))))
        qCWarning(lcDesktop).noquote() << QStringLiteral("Cannot listen to kglobalaccel's changes");
}

KGlobalAccelShortcutBackend::~KGlobalAccelShortcutBackend()
{
    // Waited for: the process may end right after.
    for (auto it = m_attempts.cbegin(); it != m_attempts.cend(); ++it)
        QDBusConnection::sessionBus().call(
            registryCall(QStringLiteral("setInactive"), {actionId(it.key(), action(it.key()))}),
            QDBus::Block, 500);
}

QString KGlobalAccelShortcutBackend::mechanismDescription() const
{
    return QStringLiteral("KDE global shortcuts (kglobalaccel)");
}

QString KGlobalAccelShortcutBackend::bind(const QString &name,
                                          const std::optional<ShortcutKey> &key)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!key) {
        if (m_attempts.remove(name))
            bus.asyncCall(
                registryCall(QStringLiteral("unRegister"), {actionId(name, action(name))}));
        return {};
    }
    const QUuid attempt = QUuid::createUuid();
    m_attempts.insert(name, attempt);
    // One connection's calls arrive in order: the action is known by the
    // time its keys are set.
    bus.asyncCall(registryCall(QStringLiteral("doRegister"), {actionId(name, action(name))}));
    const QList<KeySequence> keys{{{combined(*key), 0, 0, 0}}};
    const QDBusMessage set = registryCall(
        QStringLiteral("setShortcutKeys"),
        {actionId(name, action(name)), QVariant::fromValue(keys), setPresent | noAutoloading});
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(set, callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name, key = *key, attempt](QDBusPendingCallWatcher *finished) {
                onAssigned(name, key, attempt, finished);
            });
    return {};
}

void KGlobalAccelShortcutBackend::onAssigned(const QString &name, const ShortcutKey &key,
                                             const QUuid &attempt, QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    if (m_attempts.value(name) != attempt)
        return;
    const QDBusMessage reply = watcher->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        Q_EMIT refused(name, tr("KDE's shortcut service did not take %1: %2")
                                 .arg(key.portableText(), reply.errorMessage()));
        return;
    }
    QList<KeySequence> assigned;
    reply.arguments().constFirst().value<QDBusArgument>() >> assigned;
    if (!assigned.isEmpty() && assigned.constFirst().keys.value(0) == combined(key)) {
        qCInfo(lcDesktop).noquote()
            << QStringLiteral("kglobalaccel bound %1 to %2").arg(name, key.portableText());
        return;
    }
    refuseTaken(name, key);
}

void KGlobalAccelShortcutBackend::refuseTaken(const QString &name, const ShortcutKey &key)
{
    const QUuid attempt = m_attempts.value(name);
    auto *watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(holdersCall(key), callTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, name, key, attempt](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (m_attempts.value(name) != attempt)
                    return;
                if (const auto holder = otherHolder(finished->reply()))
                    Q_EMIT refused(name, tr("%1 is taken by %2 in KDE's shortcuts (System "
                                            "Settings, Shortcuts).")
                                             .arg(key.portableText(), *holder));
                else
                    Q_EMIT refused(
                        name,
                        tr("KDE's shortcut service did not take %1.").arg(key.portableText()));
            });
}

std::optional<QString> KGlobalAccelShortcutBackend::desktopUseOf(const ShortcutKey &key) const
{
    return otherHolder(QDBusConnection::sessionBus().call(holdersCall(key), QDBus::Block, 1000));
}

void KGlobalAccelShortcutBackend::onPressed(const QString &pressedComponent, const QString &action,
                                            qlonglong timestamp)
{
    if (pressedComponent != component || !m_attempts.contains(action))
        return;
    // An X server time on X11; 0 on Wayland.
    Q_EMIT pressed(action, quint32(timestamp));
}

void KGlobalAccelShortcutBackend::onChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 2)
        return;
    const QStringList changed = arguments.at(0).toStringList();
    if (changed.value(0) != component || !m_attempts.contains(changed.value(1)))
        return;
    QList<KeySequence> keys;
    arguments.at(1).value<QDBusArgument>() >> keys;
    const int first = keys.isEmpty() ? 0 : keys.constFirst().keys.value(0);
    const QString text = first == 0 ? QString()
                                    : QKeySequence(QKeyCombination::fromCombined(first))
                                          .toString(QKeySequence::PortableText);
    Q_EMIT changedByDesktop(changed.value(1), text);
}
