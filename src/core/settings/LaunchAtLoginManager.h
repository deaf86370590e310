#pragma once

class LoginItemService;
class SettingsStore;

// Makes the desktop start the application at login, or stops it, and can
// remember the user's choice ("launch_at_login_enabled", true by default).
// The application re-applies the stored choice at every launch; Preferences
// changes it. Called on the main thread; never fails loudly: a failure is
// logged and the next launch tries again with the stored choice.
class LaunchAtLoginManager
{
public:
    static void setLaunchAtLoginEnabled(bool enabled, SettingsStore &store, bool persist,
                                        LoginItemService &loginItems);

    // At launch: applies the stored choice without storing it again.
    static void applyStoredChoice(SettingsStore &store, LoginItemService &loginItems);
};
