#pragma once

#include <functional>
#include <memory>

class AIProviderRegistry;
class AppAnalytics;
class SettingsStore;

// What every window of the application works with. Unset members are the
// process-wide shared instances; tests hand in their own.
struct WindowDependencies
{
    const AIProviderRegistry *registry = nullptr;
    AppAnalytics *analytics = nullptr;
    // A fresh store over the user's settings file and keyring. Called on the
    // main thread and on the windows' worker thread.
    std::function<std::unique_ptr<SettingsStore>()> makeSettingsStore;

    // These dependencies with every unset member filled in.
    WindowDependencies resolved() const;
};
