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

    QString bind(const QString &name, const std::optional<ShortcutKey> &key) override
    {
        if (!key)
            return {};
        const QStringList arguments = action(name).arguments;
        if (arguments.isEmpty())
            return tr("This desktop offers no global shortcuts to applications.");
        return tr("This desktop offers no global shortcuts to applications; bind the command "
                  "`wrenlark %1` to %2 in your desktop's keyboard settings.")
            .arg(arguments.join(u' '), key->portableText());
    }
};
