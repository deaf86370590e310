#pragma once

#include "core/desktop/DesktopNotices.h"
#include "platform/linux/session/DesktopSession.h"

namespace SessionNotices {

// The notices for a session's choices. With `desktopShortcutOffered` the
// desktop's own keyboard settings can take the shortcut through Wrenlark
// (GNOME), which the windows offer instead of instructions.
DesktopNotices forSession(const DesktopSession &session, bool desktopShortcutOffered);

} // namespace SessionNotices
