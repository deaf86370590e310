#include "platform/linux/shortcuts/SettingsGlobalShortcutService.h"

#include "core/settings/SettingsKeys.h"
#include "core/support/Logging.h"

QString SettingsGlobalShortcutService::settingsKey(const QString &name)
{
    return SettingsKeys::shortcut(name);
}

SettingsGlobalShortcutService::SettingsGlobalShortcutService(
    std::unique_ptr<ShortcutBackend> backend, const QString &settingsFile, Notify notify,
    QObject *parent)
    : GlobalShortcutService(parent)
    , m_backend(std::move(backend))
    , m_settings(settingsFile)
    , m_notify(std::move(notify))
{
    connect(m_backend.get(), &ShortcutBackend::pressed, this,
            &SettingsGlobalShortcutService::onPressed);
    connect(m_backend.get(), &ShortcutBackend::refused, this,
            &SettingsGlobalShortcutService::report);
    connect(m_backend.get(), &ShortcutBackend::changedByDesktop, this,
            &SettingsGlobalShortcutService::onChangedByDesktop);
    for (const QString &name : names()) {
        load(name);
        registerEntry(name);
    }
}

SettingsGlobalShortcutService::~SettingsGlobalShortcutService()
{
    if (m_backend->keepsBindings())
        return;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        m_backend->bind(it.key(), std::nullopt);
}

void SettingsGlobalShortcutService::load(const QString &name)
{
    Entry &entry = m_entries[name];
    const std::optional<QString> stored = m_settings.string(settingsKey(name));
    if (!stored || stored->isEmpty())
        return;
    QString problem;
    entry.key = ShortcutKey::fromPortableText(*stored, &problem);
    if (!entry.key) {
        qCWarning(lcShortcuts).noquote()
            << QStringLiteral("Ignoring the stored shortcut of %1: %2.").arg(name, problem);
        entry.error = tr("The stored shortcut \"%1\" is not understood; choose one in Settings.")
                          .arg(*stored);
    }
}

void SettingsGlobalShortcutService::registerEntry(const QString &name)
{
    Entry &entry = m_entries[name];
    // One key, one action: a key grabbed twice would do whichever came first.
    if (entry.key) {
        if (const QString holder = holderOf(*entry.key, name); !holder.isEmpty()) {
            m_backend->bind(name, std::nullopt);
            entry.error =
                tr("%1 already %2.").arg(entry.key->portableText(), describeHolder(holder));
            entry.heldByOurs = true;
            return;
        }
    }
    const QString reason = m_backend->bind(name, entry.key);
    entry.heldByOurs = false;
    if (!entry.key)
        return;
    entry.error.clear();
    if (!reason.isEmpty())
        report(name, reason);
}

void SettingsGlobalShortcutService::report(const QString &name, const QString &reason)
{
    Entry &entry = m_entries[name];
    if (!entry.key)
        return;
    entry.error = reason;
    const QString keyText = entry.key->portableText();
    qCWarning(lcShortcuts).noquote()
        << QStringLiteral("The global shortcut %1 of %2 was refused: %3")
               .arg(keyText, name, reason);
    if (m_notify && name == toggleWrenlark)
        m_notify(tr("%1 does not open Wrenlark").arg(keyText),
                 tr("%1 Choose another shortcut in Wrenlark's Settings, or bind "
                    "`wrenlark toggle` in your desktop's keyboard settings.")
                     .arg(reason));
    Q_EMIT shortcutChanged(name);
}

void SettingsGlobalShortcutService::onPressed(const QString &name, quint32 timestamp,
                                              const QByteArray &activationToken)
{
    if (!m_entries.value(name).key)
        return;
    m_pressActivationToken = activationToken;
    Q_EMIT activated(name, timestamp);
    m_pressActivationToken.clear();
}

void SettingsGlobalShortcutService::setCommandShortcuts(const QList<CommandShortcut> &commands)
{
    unbindCommandsOutside(commands);
    for (const CommandShortcut &command : commands) {
        if (command.shortcut.isEmpty())
            continue;
        const QString name = commandName(command.id);
        m_backend->setAction(name, {tr("Run the Wrenlark command \"%1\"").arg(command.shorthand),
                                    {QStringLiteral("run"), command.shorthand}});
        m_commandShorthands.insert(name, command.shorthand);
        Entry &entry = m_entries[name];
        const std::optional<ShortcutKey> key = ShortcutKey::fromPortableText(command.shortcut);
        // A key the desktop refused is asked for again only when it changes
        // (or at the next start): asking a portal opens its dialog again.
        if (key && key == entry.key && !entry.heldByOurs)
            continue;
        if (entry.key)
            m_backend->bind(name, std::nullopt);
        entry.key = key;
        entry.error.clear();
        if (key)
            registerEntry(name);
        else
            entry.error = tr("The shortcut \"%1\" is not understood; record another one.")
                              .arg(command.shortcut);
        Q_EMIT shortcutChanged(name);
    }
}

void SettingsGlobalShortcutService::unbindCommandsOutside(const QList<CommandShortcut> &commands)
{
    QHash<QString, QString> wanted;
    for (const CommandShortcut &command : commands) {
        if (!command.shortcut.isEmpty())
            wanted.insert(commandName(command.id), command.shortcut);
    }
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const QString name = it.key();
        if (commandId(name).isNull() || wanted.contains(name)) {
            ++it;
            continue;
        }
        if (it->key)
            m_backend->bind(name, std::nullopt);
        m_commandShorthands.remove(name);
        it = m_entries.erase(it);
        Q_EMIT shortcutChanged(name);
    }
}

QString SettingsGlobalShortcutService::holderOf(const ShortcutKey &key, const QString &except) const
{
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it.key() != except && it->key == key && it->error.isEmpty())
            return it.key();
    }
    return {};
}

QString SettingsGlobalShortcutService::describeHolder(const QString &name) const
{
    if (name == toggleWrenlark)
        return tr("opens the command bar");
    if (name == screenSelection)
        return tr("asks about a screen region");
    return tr("runs the command \"%1\"").arg(m_commandShorthands.value(name));
}

void SettingsGlobalShortcutService::onChangedByDesktop(const QString &name,
                                                       const QString &portableText)
{
    if (!names().contains(name))
        return;
    Entry &entry = m_entries[name];
    const std::optional<ShortcutKey> key = ShortcutKey::fromPortableText(portableText);
    if (!portableText.isEmpty() && !key)
        return;
    if (key == entry.key && entry.error.isEmpty())
        return;
    qCInfo(lcShortcuts).noquote() << QStringLiteral(
                                         "The desktop's settings gave %1 the shortcut %2.")
                                         .arg(name,
                                              key ? key->portableText() : QStringLiteral("none"));
    m_settings.setValue(settingsKey(name), key ? key->portableText() : QString());
    entry.key = key;
    entry.error.clear();
    Q_EMIT shortcutChanged(name);
}

std::optional<QString> SettingsGlobalShortcutService::shortcut(const QString &name) const
{
    const auto found = m_entries.constFind(name);
    if (found == m_entries.cend() || !found->key)
        return std::nullopt;
    return found->key->portableText();
}

bool SettingsGlobalShortcutService::hasStoredValue(const QString &name) const
{
    return m_settings.contains(settingsKey(name));
}

bool SettingsGlobalShortcutService::setShortcut(const QString &name,
                                                const std::optional<QString> &portableText)
{
    if (!names().contains(name))
        return false;
    std::optional<ShortcutKey> key;
    if (portableText && !portableText->trimmed().isEmpty()) {
        key = ShortcutKey::fromPortableText(*portableText);
        if (!key)
            return false;
    }
    m_settings.setValue(settingsKey(name), key ? key->portableText() : QString());
    Entry &entry = m_entries[name];
    entry.key = key;
    entry.error.clear();
    registerEntry(name);
    Q_EMIT shortcutChanged(name);
    return true;
}

QString SettingsGlobalShortcutService::registrationError(const QString &name) const
{
    return m_entries.value(name).error;
}

QString SettingsGlobalShortcutService::mechanismDescription() const
{
    return m_backend->mechanismDescription();
}

std::optional<QString>
SettingsGlobalShortcutService::desktopUseOf(const QString &portableText) const
{
    const std::optional<ShortcutKey> key = ShortcutKey::fromPortableText(portableText);
    return key ? m_backend->desktopUseOf(*key) : std::nullopt;
}
