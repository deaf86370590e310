#pragma once

#include <functional>
#include <memory>

class AIProviderRegistry;
class AppAnalytics;
class SettingsStore;
class UrlOpener;

// What every window of the application works with, every member set by the
// composition root (tests hand in their own).
struct WindowDependencies
{
    const AIProviderRegistry *registry = nullptr;
    AppAnalytics *analytics = nullptr;
    // Opens the pages a window links to (key pages, the sign-in page).
    UrlOpener *browser = nullptr;
    // A fresh store over the user's settings file and keyring. Called on the
    // main thread and on the windows' worker thread.
    std::function<std::unique_ptr<SettingsStore>()> makeSettingsStore;
};
