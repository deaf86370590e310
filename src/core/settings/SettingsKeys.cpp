#include "core/settings/SettingsKeys.h"

namespace SettingsKeys {

QList<Key> all()
{
    return {currentProvider,        didCompleteOnboarding, userCommands,
            unreadableUserCommands, launchAtLoginEnabled,  keyboardShortcutsInitialized,
            trayMissingNoticeShown, replyLanguage,         instructionHistoryEnabled};
}

QString model(const QString &providerID)
{
    return QString(providerID).replace(u'-', u'_') + QStringLiteral("_model");
}

QString serverAddress(const QString &providerID)
{
    return QString(providerID).replace(u'-', u'_') + QStringLiteral("_server_address");
}

QString shortcut(const QString &shortcutName)
{
    return QStringLiteral("keyboard_shortcut_") + shortcutName;
}

QVariant defaultValue(const QString &name)
{
    for (const Key &key : all())
        if (key.name == name)
            return key.defaultValue;
    return {};
}

} // namespace SettingsKeys
