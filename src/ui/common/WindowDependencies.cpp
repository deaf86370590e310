#include "ui/common/WindowDependencies.h"

#include "core/analytics/AppAnalytics.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"

WindowDependencies WindowDependencies::resolved() const
{
    WindowDependencies filled = *this;
    if (!filled.registry)
        filled.registry = &AIProviderRegistry::shared();
    if (!filled.analytics)
        filled.analytics = &AppAnalytics::shared();
    if (!filled.makeSettingsStore) {
        const AIProviderRegistry *registry = filled.registry;
        filled.makeSettingsStore = [registry] {
            return std::make_unique<SettingsStore>(KeychainStore(),
                                                   UserDefaults::standardFilePath(), *registry);
        };
    }
    return filled;
}
