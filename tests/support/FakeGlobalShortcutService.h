#pragma once

#include "core/desktop/GlobalShortcutService.h"

#include <QHash>
#include <QStringList>

// Named shortcuts kept in memory. A shortcut text is usable when it ends in a
// key that is not a modifier ("Alt+Space", not "Alt+" or "Ctrl+Shift");
// `refuse` makes the desktop refuse a usable one, as when another program
// holds it. press() plays a press of a name's shortcut.
class FakeGlobalShortcutService : public GlobalShortcutService
{
    Q_OBJECT

public:
    using GlobalShortcutService::GlobalShortcutService;

    std::optional<QString> shortcut(const QString &name) const override;
    bool setShortcut(const QString &name, const std::optional<QString> &portableText) override;
    QString registrationError(const QString &name) const override;
    QString mechanismDescription() const override { return QStringLiteral("in-memory fake"); }
    // Keeps each command's shortcut under its command name, as given.
    void setCommandShortcuts(const QList<CommandShortcut> &commands) override;

    // The desktop refuses `portableText` from now on, with `message` (by
    // default "<text> is used by another program.").
    void refuse(const QString &portableText, const QString &message = {});
    void press(const QString &name, quint32 timestamp = 0);

    // Every setShortcut call, as "name=text" ("name=" for a clear).
    QStringList calls() const { return m_calls; }
    static bool isUsable(const QString &portableText);

private:
    QHash<QString, QString> m_shortcuts;
    QHash<QString, QString> m_refused;
    QStringList m_calls;
};
