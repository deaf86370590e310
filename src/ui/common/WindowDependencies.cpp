#include "ui/common/WindowDependencies.h"

#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"

WindowDependencies WindowDependencies::resolved() const
{
    WindowDependencies filled = *this;
    if (!filled.registry)
        filled.registry = &AIProviderRegistry::shared();
    if (!filled.auth)
        filled.auth = &OpenAIProPlusAuthManager::shared();
    if (!filled.analytics)
        filled.analytics = &AppAnalytics::shared();
    if (!filled.makeSettingsStore) {
        const AIProviderRegistry *registry = filled.registry;
        OpenAIProPlusAuthManager *auth = filled.auth;
        filled.makeSettingsStore = [registry, auth] {
            return std::make_unique<SettingsStore>(
                KeychainStore(), UserDefaults::standardFilePath(), *registry, *auth);
        };
    }
    return filled;
}
