#pragma once

#include "core/desktop/CommandKeybindingService.h"

#include <QHash>

// The desktop's keyboard settings in memory: one shortcut Wrenlark may add,
// or one the user made.
class FakeCommandKeybinding : public CommandKeybindingService
{
public:
    bool isAvailable() const override { return true; }
    std::optional<QString> installedBinding() const override { return m_own ? m_own : m_usersOwn; }
    bool isOwnBinding() const override { return m_own.has_value(); }
    std::optional<QString> desktopUseOf(const QString &portableShortcut) const override
    {
        if (const auto use = m_desktopKeys.constFind(portableShortcut); use != m_desktopKeys.cend())
            return *use;
        return std::nullopt;
    }
    bool install(const QString &portableShortcut, QString *error) override
    {
        if (!m_refusal.isEmpty()) {
            *error = m_refusal;
            return false;
        }
        m_own = portableShortcut;
        ++installs;
        return true;
    }
    bool remove(QString *) override
    {
        m_own.reset();
        return true;
    }

    // One the user made in the desktop's settings.
    std::optional<QString> m_usersOwn;
    std::optional<QString> m_own;
    // The desktop's own keys, and what they do.
    QHash<QString, QString> m_desktopKeys;
    // Set: every install fails with it.
    QString m_refusal;
    int installs = 0;
};
