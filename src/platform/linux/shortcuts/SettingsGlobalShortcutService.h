#pragma once

#include "core/desktop/GlobalShortcutService.h"
#include "core/settings/UserDefaults.h"
#include "platform/linux/shortcuts/ShortcutBackend.h"

#include <QHash>
#include <functional>
#include <memory>

// The global shortcuts of this application: each name's choice kept in the
// settings file ("keyboard_shortcut_<name>": the portable text, or empty
// when the user cleared it; no key when never set), registered through one
// backend. A stored value that names no usable shortcut is logged and left
// in the file untouched, so the user's file is never rewritten behind their
// back; the name then has no shortcut until one is set.
//
// A key the user gives a shortcut in the desktop's own settings (KDE's)
// becomes the stored choice, so it is shown and asked for again at the next
// start instead of the old one.
//
// A shortcut the desktop refuses stays the user's choice: it is reported
// (ERROR in the log, a desktop notification through `notify`, and
// registrationError()) and tried again at the next start or change.
class SettingsGlobalShortcutService : public GlobalShortcutService
{
    Q_OBJECT

public:
    using Notify = std::function<void(const QString &summary, const QString &body)>;

    static QString settingsKey(const QString &name);

    SettingsGlobalShortcutService(std::unique_ptr<ShortcutBackend> backend,
                                  const QString &settingsFile, Notify notify,
                                  QObject *parent = nullptr);
    ~SettingsGlobalShortcutService() override;

    std::optional<QString> shortcut(const QString &name) const override;
    bool setShortcut(const QString &name, const std::optional<QString> &portableText) override;
    QString registrationError(const QString &name) const override;
    QString mechanismDescription() const override;
    std::optional<QString> desktopUseOf(const QString &portableText) const override;
    void setCommandShortcuts(const QList<CommandShortcut> &commands) override;

    // Whether the settings file holds a value for the name at all (a cleared
    // or unreadable one counts).
    bool hasStoredValue(const QString &name) const;

    // While activated() is being delivered: the xdg-activation token the
    // desktop sent with that press, for the window shown in answer (Wayland).
    // Empty outside the delivery or when the desktop sent none.
    QByteArray pressActivationToken() const override { return m_pressActivationToken; }

private:
    struct Entry
    {
        std::optional<ShortcutKey> key;
        QString error;
        // The error is that another shortcut of ours has the key: tried
        // again at the next registration, when that one may have let it go.
        bool heldByOurs = false;
    };

    void load(const QString &name);
    void unbindCommandsOutside(const QList<CommandShortcut> &commands);
    // The named shortcut of this application that has `key` already; empty
    // when none.
    QString holderOf(const ShortcutKey &key, const QString &except) const;
    QString describeHolder(const QString &name) const;
    void registerEntry(const QString &name);
    void report(const QString &name, const QString &reason);
    void onPressed(const QString &name, quint32 timestamp, const QByteArray &activationToken);
    void onChangedByDesktop(const QString &name, const QString &portableText);

    std::unique_ptr<ShortcutBackend> m_backend;
    mutable UserDefaults m_settings;
    Notify m_notify;
    QHash<QString, Entry> m_entries;
    // The shorthand of each command that has a shortcut, by command name.
    QHash<QString, QString> m_commandShorthands;
    QByteArray m_pressActivationToken;
};
