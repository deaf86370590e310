#pragma once

#include "core/desktop/LoginItemService.h"

#include <QHash>
#include <QString>
#include <optional>

// Login items as the freedesktop.org autostart convention has them: a desktop
// entry in $XDG_CONFIG_HOME/autostart that starts our executable. Plain file
// work, so it needs nothing from the desktop beyond its session manager
// reading that folder.
//
// Status: no file is "not registered"; a file the desktop has disabled
// (Hidden=true, or X-GNOME-Autostart-enabled=false as GNOME writes it) or one
// that starts another executable (a copy at an earlier path) is "requires
// approval"; a file starting us is "enabled"; an executable that cannot be
// located is "not found".
class XdgAutostartLoginItem : public LoginItemService
{
public:
    // For the running executable (the AppImage file when run from one).
    XdgAutostartLoginItem();
    explicit XdgAutostartLoginItem(QString executablePath);

    Status status() override;
    // Writes our entry. An entry the desktop has disabled is the user's
    // decision in their desktop's startup settings and is left as it is.
    bool registerItem(QString *errorDescription) override;
    bool unregisterItem(QString *errorDescription) override;

    QString executablePath() const { return m_executablePath; }

    // $XDG_CONFIG_HOME/autostart/wrenlark.desktop
    static QString entryFilePath();
    // The whole desktop entry that starts `executablePath` at login.
    static QByteArray entryContents(const QString &executablePath);
    // The Exec value that runs `program` with no arguments, quoted and
    // escaped as freedesktop.org desktop entries require.
    static QString execValue(const QString &program);
    // The program of an Exec value (its first argument, unquoted and
    // unescaped); nothing when the value is malformed.
    static std::optional<QString> programOfExec(const QString &execValue);
    // The keys of the "[Desktop Entry]" group (the first of each).
    static QHash<QString, QString> readEntry(const QByteArray &contents);

private:
    bool executableLocated() const;
    static bool isDisabledByDesktop(const QHash<QString, QString> &entry);

    QString m_executablePath;
};
