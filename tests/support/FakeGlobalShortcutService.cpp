#include "support/FakeGlobalShortcutService.h"

namespace {

const QStringList modifierNames = {QStringLiteral("ctrl"), QStringLiteral("alt"),
                                   QStringLiteral("shift"), QStringLiteral("meta"),
                                   QStringLiteral("super")};

} // namespace

std::optional<QString> FakeGlobalShortcutService::shortcut(const QString &name) const
{
    if (!m_shortcuts.contains(name))
        return std::nullopt;
    return m_shortcuts.value(name);
}

bool FakeGlobalShortcutService::isUsable(const QString &portableText)
{
    // One chord only; "Ctrl++" is Ctrl with the plus key.
    if (portableText.isEmpty() || portableText.contains(QStringLiteral(", ")))
        return false;
    const QString key = portableText.endsWith(QLatin1Char('+'))
                            ? QStringLiteral("+")
                            : portableText.section(QLatin1Char('+'), -1).toLower();
    return !key.isEmpty() && !modifierNames.contains(key);
}

bool FakeGlobalShortcutService::setShortcut(const QString &name,
                                            const std::optional<QString> &portableText)
{
    m_calls.append(name + QLatin1Char('=') + portableText.value_or(QString()));
    if (portableText && !isUsable(*portableText))
        return false;
    if (portableText)
        m_shortcuts.insert(name, *portableText);
    else
        m_shortcuts.remove(name);
    Q_EMIT shortcutChanged(name);
    return true;
}

void FakeGlobalShortcutService::setCommandShortcuts(const QList<CommandShortcut> &commands)
{
    m_shortcuts.removeIf([](const auto &entry) { return !commandId(entry.key()).isNull(); });
    for (const CommandShortcut &command : commands) {
        if (!command.shortcut.isEmpty())
            m_shortcuts.insert(commandName(command.id), command.shortcut);
    }
}

QString FakeGlobalShortcutService::registrationError(const QString &name) const
{
    const auto current = shortcut(name);
    if (!current)
        return {};
    return m_refused.value(*current);
}

void FakeGlobalShortcutService::refuse(const QString &portableText, const QString &message)
{
    m_refused.insert(portableText,
                     message.isEmpty()
                         ? QStringLiteral("%1 is used by another program.").arg(portableText)
                         : message);
    for (auto it = m_shortcuts.cbegin(); it != m_shortcuts.cend(); ++it) {
        if (it.value() == portableText)
            Q_EMIT shortcutChanged(it.key());
    }
}

void FakeGlobalShortcutService::press(const QString &name, quint32 timestamp)
{
    if (m_shortcuts.contains(name) && registrationError(name).isEmpty())
        Q_EMIT activated(name, timestamp);
}
