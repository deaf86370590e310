#pragma once

#include "core/settings/SettingsFileScreen.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <functional>
#include <optional>

// The user's plain settings (never secrets): an INI file at
// $XDG_CONFIG_HOME/Wrenlark/Wrenlark.conf, written atomically. Nothing is
// cached here: every read first picks up changes that another instance or
// another process (the command line, the desktop application) wrote, and
// every write goes to the file at once, so all instances agree.
//
// QSettings writes under "<file>.lock", re-reading the file first, but it
// tells whether the file changed only by its size and its modification time
// in milliseconds: a write of another process that kept the size and fell
// in the same millisecond (or tick of a coarser file system clock) as the
// one seen last would be overwritten with the old value. So every write here
// also holds "<file>.write.lock" and leaves the file with a modification
// time later than the one it had, which makes each write visible to all.
//
// The file is screened before QSettings reads it (see SettingsFileScreen):
// what cannot be read safely is set aside, the rest is kept.
//
// An unset key reads as its default when the table of keys (SettingsKeys)
// has one ("launch_at_login_enabled" reads as
// true).
class UserDefaults
{
public:
    // The standard file of this user.
    UserDefaults();
    explicit UserDefaults(const QString &filePath);

    static QString standardFilePath();
    QString filePath() const { return m_settings.fileName(); }

    // Whether the file holds the key (registered defaults do not count).
    bool contains(const QString &key) const;
    // The stored value, else the registered default, else an invalid variant.
    QVariant value(const QString &key) const;
    std::optional<QString> string(const QString &key) const;
    std::optional<QByteArray> data(const QString &key) const;
    // false when neither stored nor registered.
    bool boolValue(const QString &key) const;

    void setValue(const QString &key, const QVariant &value);
    void remove(const QString &key);
    // Replaces the stored value (invalid: none) with what `change` makes of
    // it, with no other write in between; an invalid result removes the key.
    // `change` must not use this object.
    void update(const QString &key, const std::function<QVariant(const QVariant &)> &change);

private:
    void refresh() const;
    // Runs `write` on m_settings and saves it, while no other writer can.
    void write(const std::function<void()> &write);

    // Before m_settings: QSettings reads the file as it is constructed.
    mutable SettingsFileScreen m_screen;
    mutable QSettings m_settings;
};
