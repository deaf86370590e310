#include "platform/linux/selection/PrimarySelection.h"

#include "platform/linux/clipboard/ClipboardAccess.h"
#include "platform/linux/x11/X11Desktop.h"

#include <QCoreApplication>

namespace PrimarySelection {

std::optional<QString> textOwnedBy(qint32 pid)
{
    if (pid <= 0 || pid == qint32(QCoreApplication::applicationPid()))
        return std::nullopt;
    if (X11Desktop::shared().selectionOwnerPid("PRIMARY") != pid)
        return std::nullopt;
    return ClipboardAccess::shared().plainText(QClipboard::Selection);
}

} // namespace PrimarySelection
