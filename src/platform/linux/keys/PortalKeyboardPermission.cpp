#include "platform/linux/keys/PortalKeyboardPermission.h"

#include "platform/linux/keys/RemoteDesktopPortalKeys.h"

PortalKeyboardPermission::PortalKeyboardPermission(std::shared_ptr<RemoteDesktopPortalKeys> keys,
                                                   bool keptByDesktop, QObject *parent)
    : KeyboardControlPermission(parent)
    , m_keys(std::move(keys))
    , m_keptByDesktop(keptByDesktop)
{
    connect(m_keys.get(), &RemoteDesktopPortalKeys::stateChanged, this,
            &KeyboardControlPermission::grantChanged);
}

KeyboardControlPermission::Grant PortalKeyboardPermission::grant() const
{
    const bool kept = m_keptByDesktop && m_keys->hasRestoreToken();
    if (m_keys->state() == RemoteDesktopPortalKeys::State::running)
        return kept ? Grant::kept : Grant::untilQuit;
    // A session restored from the token does not ask.
    return kept ? Grant::kept : Grant::notGranted;
}

void PortalKeyboardPermission::revoke()
{
    m_keys->revokePermission();
    Q_EMIT grantChanged();
}
