#include "platform/linux/clipboard/QtTextClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

bool QtTextClipboard::setText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(text, QClipboard::Clipboard);
    // Without an X connection (or with a refused ownership) Qt keeps the text
    // to itself; only real ownership puts it where other programs see it.
    return clipboard->ownsClipboard() || !clipboard->supportsSelection();
}
