#pragma once

#include "ui/preferences/PreferencesDependencies.h"
#include "ui/preferences/PreferencesTab.h"

#include <QTabWidget>

class AIProvidersPreferencesView;
class CommandsPreferencesView;
class GeneralPreferencesView;

// The Settings window's content: the Commands, AI Providers and General tabs.
class PreferencesRootView : public QTabWidget
{
    Q_OBJECT

public:
    explicit PreferencesRootView(const PreferencesDependencies &dependencies,
                                 QWidget *parent = nullptr);

    PreferencesTab selectedTab() const { return PreferencesTab(currentIndex()); }
    void selectTab(PreferencesTab tab) { setCurrentIndex(int(tab)); }

    CommandsPreferencesView *commandsView() const { return m_commands; }
    AIProvidersPreferencesView *providersView() const { return m_providers; }
    GeneralPreferencesView *generalView() const { return m_general; }

private:
    CommandsPreferencesView *m_commands;
    AIProvidersPreferencesView *m_providers;
    GeneralPreferencesView *m_general;
};
