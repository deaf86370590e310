#include "platform/linux/selection/PrimarySelection.h"

#include "platform/linux/clipboard/ClipboardAccess.h"
#include "platform/linux/x11/X11Desktop.h"

#include <QCoreApplication>

namespace PrimarySelection {

std::optional<QString> textOwnedBy(qint32 pid, X11Desktop &x11, ClipboardAccess &clipboard)
{
    if (pid <= 0 || pid == qint32(QCoreApplication::applicationPid()))
        return std::nullopt;
    if (x11.selectionOwnerPid("PRIMARY") != pid)
        return std::nullopt;
    return clipboard.plainText(QClipboard::Selection);
}

} // namespace PrimarySelection
