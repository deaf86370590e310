#pragma once

#include "platform/linux/shortcuts/ShortcutBackend.h"

// Where this desktop offers no way to register global shortcuts (a Wayland
// desktop without the GlobalShortcuts portal): every shortcut is refused
// with what the user can do instead.
class UnavailableShortcutBackend : public ShortcutBackend
{
    Q_OBJECT

public:
    using ShortcutBackend::ShortcutBackend;

    QString mechanismDescription() const override
    {
        return QStringLiteral("none here; bind `wrenlark toggle` in your desktop's keyboard "
                              "settings");
    }

    QString bind(const QString &, const std::optional<ShortcutKey> &key) override
    {
        if (!key)
            return {};
        return tr("This desktop offers no global shortcuts to applications; bind the command "
                  "`wrenlark toggle` to %1 in your desktop's keyboard settings.")
            .arg(key->portableText());
    }
};
