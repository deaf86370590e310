#pragma once

#include "core/desktop/KeyboardControlPermission.h"

#include <memory>

class RemoteDesktopPortalKeys;

// The RemoteDesktop portal's permission: granted while its session runs,
// kept where the desktop restores it from the token (version 2 of the
// portal).
class PortalKeyboardPermission : public KeyboardControlPermission
{
    Q_OBJECT

public:
    PortalKeyboardPermission(std::shared_ptr<RemoteDesktopPortalKeys> keys, bool keptByDesktop,
                             QObject *parent = nullptr);

    Grant grant() const override;
    void revoke() override;

private:
    std::shared_ptr<RemoteDesktopPortalKeys> m_keys;
    bool m_keptByDesktop;
};
