#pragma once

#include <QString>

// The tabs of the Settings window, in the order the tab bar shows them.
enum class PreferencesTab { commands, providers, general };

// "commands", "providers", "general"
QString analyticsName(PreferencesTab tab);
