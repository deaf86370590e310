#pragma once

#include "platform/linux/shortcuts/UnavailableShortcutBackend.h"

// GNOME registers no global shortcut for an application. A saved command's
// shortcut becomes a custom shortcut of GNOME's keyboard settings instead,
// running `wrenlark run SHORTHAND` (which starts Wrenlark when it is not
// running), so GNOME keeps it between runs until the command or its key is
// removed. The bar's own shortcut is added from Settings, General, as a
// row of its own.
class GnomeShortcutBackend : public UnavailableShortcutBackend
{
    Q_OBJECT

public:
    // The entry of a command's shortcut in GNOME's list.
    static QString entryPath(const QString &name);

    using UnavailableShortcutBackend::UnavailableShortcutBackend;

    QString bind(const QString &name, const std::optional<ShortcutKey> &key) override;
    void setAction(const QString &name, const Action &action) override;
    bool keepsBindings() const override { return true; }

private:
    QHash<QString, ShortcutKey> m_bound;
};
