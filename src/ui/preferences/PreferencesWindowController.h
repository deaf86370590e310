#pragma once

#include "ui/preferences/PreferencesDependencies.h"

#include <QObject>
#include <QSize>
#include <QString>

class PreferencesRootView;
class PreferencesWindow;

// Owns the one Settings window: created once, hidden (never destroyed) when
// closed, centred the first time it is shown.
class PreferencesWindowController : public QObject
{
    Q_OBJECT

public:
    static inline const QSize preferredContentSize{620, 620};

    // Hands the window its dependencies; called once by the composition root
    // before the first shared(). A later call replaces the window (tests).
    static void install(PreferencesDependencies dependencies);
    // The controller; with the shared services when install() was never called.
    static PreferencesWindowController &shared();

    // `source` says where the request came from: "menu_bar",
    // "keyboard_shortcut" or "command_line".
    void show(const QString &source);
    bool isVisible() const;

    QWidget *window() const;
    PreferencesRootView *rootView() const;

private:
    explicit PreferencesWindowController(const PreferencesDependencies &dependencies);
    ~PreferencesWindowController() override;

    PreferencesDependencies m_dependencies;
    PreferencesWindow *m_window;
    bool m_hasCentered = false;
};
