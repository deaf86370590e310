#pragma once

#include "ui/preferences/PreferencesDependencies.h"

#include <QObject>
#include <QSize>
#include <QString>

class PreferencesRootView;
class PreferencesWindow;

// Owns the one Settings window: created when it is first needed (most runs
// never open it), then hidden (never destroyed) when closed, centred the
// first time it is shown.
class PreferencesWindowController : public QObject
{
    Q_OBJECT

public:
    static inline const QSize preferredContentSize{620, 620};

    // Made once, by the composition root (tests make their own).
    explicit PreferencesWindowController(const PreferencesDependencies &dependencies);
    ~PreferencesWindowController() override;

    // `source` says where the request came from: "menu_bar",
    // "keyboard_shortcut" or "command_line".
    void show(const QString &source);
    bool isVisible() const;

    // Both create the window if it does not exist yet.
    QWidget *window();
    PreferencesRootView *rootView();

Q_SIGNALS:
    // The window is closing; what was being edited in it is stored.
    void windowWillClose();

private:
    PreferencesWindow *ensureWindow();

    PreferencesDependencies m_dependencies;
    PreferencesWindow *m_window = nullptr;
    bool m_hasCentered = false;
};
