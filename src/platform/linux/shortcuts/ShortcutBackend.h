#pragma once

#include "platform/linux/shortcuts/ShortcutKey.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <optional>

// How shortcuts reach the application on one kind of desktop: X11 key
// grabs, the GlobalShortcuts portal, or nothing. Main thread only.
class ShortcutBackend : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // "X11 key grab on the root window", ...
    virtual QString mechanismDescription() const = 0;
    // Registers `key` for `name` in place of what the name had (nothing:
    // unregisters). Returns why the desktop refused it, empty when it took it
    // or has not answered yet; a later answer comes as refused().
    virtual QString bind(const QString &name, const std::optional<ShortcutKey> &key) = 0;
    // Whether bindings stay with the desktop after this process ends (keys
    // the desktop runs a command line for); others are released at exit.
    virtual bool keepsBindings() const { return false; }
    // What of the desktop's own already holds `key` ("KRunner"), as far as
    // this method can tell before binding; nothing when it is free or unknown.
    virtual std::optional<QString> desktopUseOf(const ShortcutKey &) const { return std::nullopt; }

    // What a named shortcut does: in the words a desktop's shortcut list
    // shows, and as the arguments of `wrenlark` that do the same, for
    // desktops where a key runs a command line.
    struct Action
    {
        QString description;
        QStringList arguments;
    };

    // Declares what the named shortcut does, before it is bound; a backend
    // whose bindings show it follows a change of a bound one.
    virtual void setAction(const QString &name, const Action &action)
    {
        m_actions.insert(name, action);
    }
    Action action(const QString &name) const
    {
        if (const auto found = m_actions.constFind(name); found != m_actions.cend())
            return *found;
        if (name == QLatin1String("toggleWrenlark"))
            return {tr("Open or close the Wrenlark command bar"), {QStringLiteral("toggle")}};
        return {tr("Capture a screen region for Wrenlark"), {}};
    }

Q_SIGNALS:
    // `activationToken`: the xdg-activation token the desktop sent with the
    // press (Wayland), for the window shown in answer; empty when none came.
    void pressed(const QString &name, quint32 timestamp, const QByteArray &activationToken = {});
    void refused(const QString &name, const QString &reason);
    // The user gave the named shortcut another key (empty: none) in the
    // desktop's own settings; the desktop already fires it.
    void changedByDesktop(const QString &name, const QString &portableText);

private:
    QHash<QString, Action> m_actions;
};
