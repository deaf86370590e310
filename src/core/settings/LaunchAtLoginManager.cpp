#include "core/settings/LaunchAtLoginManager.h"

#include "core/desktop/LoginItemService.h"
#include "core/settings/SettingsStore.h"
#include "core/support/Logging.h"

void LaunchAtLoginManager::setLaunchAtLoginEnabled(bool enabled, SettingsStore &store, bool persist,
                                                   LoginItemService &loginItems)
{
    using Status = LoginItemService::Status;
    if (persist)
        store.setLaunchAtLoginEnabled(enabled);

    const Status status = loginItems.status();
    QString errorDescription;
    bool succeeded = true;
    if (enabled && status != Status::enabled)
        succeeded = loginItems.registerItem(&errorDescription);
    else if (!enabled && (status == Status::enabled || status == Status::requiresApproval))
        succeeded = loginItems.unregisterItem(&errorDescription);

    // The stored choice stays as the user set it.
    if (!succeeded)
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Failed to update launch at login state to %1. (%2)")
                   .arg(enabled ? QStringLiteral("true") : QStringLiteral("false"),
                        errorDescription);
}

void LaunchAtLoginManager::applyStoredChoice(SettingsStore &store, LoginItemService &loginItems)
{
    setLaunchAtLoginEnabled(store.launchAtLoginEnabled(), store, false, loginItems);
}
