#pragma once

#include "core/desktop/CommandKeybindingService.h"

// The desktop's keyboard settings in memory: one shortcut Wrenlark may add,
// or one the user made.
class FakeCommandKeybinding : public CommandKeybindingService
{
public:
    bool isAvailable() const override { return true; }
    std::optional<QString> installedBinding() const override { return m_own ? m_own : m_usersOwn; }
    bool isOwnBinding() const override { return m_own.has_value(); }
    std::optional<QString> desktopUseOf(const QString &) const override { return std::nullopt; }
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
    // Set: every install fails with it.
    QString m_refusal;
    int installs = 0;
};
