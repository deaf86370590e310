#include "platform/linux/desktops/gnome/GnomeShortcutBackend.h"

#include "core/desktop/GlobalShortcutService.h"
#include "platform/linux/desktops/gnome/GnomeCommandKeybinding.h"

namespace {

GnomeCommandKeybinding keybindingOf(const QString &name, const ShortcutBackend::Action &action)
{
    return GnomeCommandKeybinding(
        true, GnomeCommandKeybinding::commandForThisExecutable(action.arguments),
        GnomeShortcutBackend::entryPath(name), QStringLiteral("Wrenlark: ") + action.description);
}

} // namespace

QString GnomeShortcutBackend::entryPath(const QString &name)
{
    // GSettings paths take lower-case letters, digits and dashes.
    return QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
                          "wrenlark-%1/")
        .arg(name.toLower());
}

QString GnomeShortcutBackend::bind(const QString &name, const std::optional<ShortcutKey> &key)
{
    if (GlobalShortcutService::commandId(name).isNull())
        return UnavailableShortcutBackend::bind(name, key);
    QString error;
    GnomeCommandKeybinding keybinding = keybindingOf(name, action(name));
    if (!key) {
        if (m_bound.remove(name) && !keybinding.remove(&error))
            return error;
        return {};
    }
    if (!keybinding.install(key->portableText(), &error))
        return error;
    m_bound.insert(name, *key);
    return {};
}

void GnomeShortcutBackend::setAction(const QString &name, const Action &action)
{
    const bool changed = this->action(name).arguments != action.arguments;
    ShortcutBackend::setAction(name, action);
    // A renamed command: its key now runs the new shorthand.
    if (const auto bound = m_bound.constFind(name); changed && bound != m_bound.cend()) {
        QString error;
        keybindingOf(name, action).install(bound->portableText(), &error);
    }
}
