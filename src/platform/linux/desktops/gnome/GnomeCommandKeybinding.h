#pragma once

#include "core/desktop/CommandKeybindingService.h"

#include <QStringList>

// A custom keyboard shortcut of GNOME (gnome-settings-daemon's media-keys
// plugin, through GSettings): an entry at a path of its own in GNOME's list
// of custom keybindings, by default named "Wrenlark" and running `wrenlark
// toggle`. Goes through the session's GSettings backend (dconf;
// GSETTINGS_BACKEND picks another). Main thread only.
class GnomeCommandKeybinding : public CommandKeybindingService
{
public:
    static inline const QString ownPath = QStringLiteral(
        "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/wrenlark/");

    // `onGnome`: whether this is a GNOME session (elsewhere GNOME's
    // shortcuts do nothing); `command`: what the shortcut runs; `path` and
    // `name`: its entry, and how GNOME's settings list it.
    GnomeCommandKeybinding(bool onGnome, QString command, QString path = ownPath,
                           QString name = QStringLiteral("Wrenlark"));

    // "wrenlark toggle" when `wrenlark` in PATH is this executable, else this
    // executable's full path (quoted for the shell) and "toggle"; other
    // arguments in place of "toggle", quoted where the shell needs it.
    static QString commandForThisExecutable(const QStringList &arguments = QStringList{
                                                QStringLiteral("toggle")});
    // Whether `command` runs `wrenlark toggle` (or `--toggle`).
    static bool runsToggle(const QString &command);
    // A GTK accelerator ("<Primary><Alt>k") as the user reads it ("Ctrl+Alt+K").
    static QString readableAccelerator(const QString &accelerator);

    // What GNOME itself does with the key of `portableShortcut` ("Alt+Space":
    // "Activate the window menu"), from its own keybinding settings; nothing
    // when it does nothing with it. GNOME's own keys win over a custom
    // shortcut on the same key, which then never fires.
    std::optional<QString> desktopUseOf(const QString &portableShortcut) const override;

    bool isAvailable() const override;
    std::optional<QString> installedBinding() const override;
    bool isOwnBinding() const override;
    bool install(const QString &portableShortcut, QString *error) override;
    bool remove(QString *error) override;

private:
    bool m_onGnome;
    QString m_command;
    QString m_path;
    QString m_name;
};
