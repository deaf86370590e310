#include "platform/linux/shortcuts/FirstRunShortcut.h"

#include "core/desktop/GlobalShortcutService.h"
#include "core/settings/UserDefaults.h"

namespace FirstRunShortcut {

void apply(GlobalShortcutService &shortcuts, UserDefaults &settings)
{
    if (settings.boolValue(initializedKey))
        return;
    const QString &name = GlobalShortcutService::toggleWrenlark;
    if (!shortcuts.shortcut(name) && shortcuts.registrationError(name).isEmpty())
        shortcuts.setShortcut(name, toggleDefault);
    settings.setValue(initializedKey, true);
}

} // namespace FirstRunShortcut
