#include "core/settings/LaunchAtLoginManager.h"

#include "core/desktop/LoginItemService.h"
#include "core/settings/SettingsStore.h"
#include "core/support/Logging.h"

namespace {

// The desktop's login items as the application installed them; without
// them the choice is still stored, and applied at the next launch.
std::shared_ptr<LoginItemService> installedLoginItems()
{
    auto loginItems = LoginItemService::defaultService();
    if (!loginItems)
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Launch at login cannot be applied: no login items are installed.");
    return loginItems;
}

} // namespace

void LaunchAtLoginManager::setLaunchAtLoginEnabled(bool enabled, SettingsStore &store, bool persist)
{
    if (const auto loginItems = installedLoginItems())
        setLaunchAtLoginEnabled(enabled, store, persist, *loginItems);
    else if (persist)
        store.setLaunchAtLoginEnabled(enabled);
}

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

void LaunchAtLoginManager::applyStoredChoice(SettingsStore &store)
{
    if (const auto loginItems = installedLoginItems())
        applyStoredChoice(store, *loginItems);
}

void LaunchAtLoginManager::applyStoredChoice(SettingsStore &store, LoginItemService &loginItems)
{
    setLaunchAtLoginEnabled(store.launchAtLoginEnabled(), store, false, loginItems);
}
