#include "platform/linux/shortcuts/FirstRunShortcut.h"

#include "core/desktop/CommandKeybindingService.h"
#include "core/desktop/GlobalShortcutService.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/UserDefaults.h"
#include "core/support/Logging.h"

namespace FirstRunShortcut {

QString toggleDefaultFor(const CommandKeybindingService *desktopKeys,
                         const GlobalShortcutService *shortcuts)
{
    const auto useOf = [&](const QString &key) -> std::optional<QString> {
        if (auto use = desktopKeys ? desktopKeys->desktopUseOf(key) : std::nullopt)
            return use;
        return shortcuts ? shortcuts->desktopUseOf(key) : std::nullopt;
    };
    const auto use = useOf(toggleDefault);
    if (!use)
        return toggleDefault;
    for (const QString &candidate : toggleAlternatives) {
        if (!useOf(candidate)) {
            qCInfo(lcShortcuts).noquote()
                << QStringLiteral("The desktop uses %1 (%2); %3 is the default.")
                       .arg(toggleDefault, *use, candidate);
            return candidate;
        }
    }
    return toggleDefault;
}

void apply(GlobalShortcutService &shortcuts, UserDefaults &settings,
           const CommandKeybindingService *desktopKeys)
{
    if (settings.boolValue(SettingsKeys::keyboardShortcutsInitialized.name))
        return;
    const QString &name = GlobalShortcutService::toggleWrenlark;
    if (!shortcuts.shortcut(name) && shortcuts.registrationError(name).isEmpty())
        shortcuts.setShortcut(name, toggleDefaultFor(desktopKeys, &shortcuts));
    settings.setValue(SettingsKeys::keyboardShortcutsInitialized.name, true);
}

} // namespace FirstRunShortcut
