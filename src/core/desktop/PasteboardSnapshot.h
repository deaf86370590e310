#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// The whole contents of a clipboard at one moment: every format it offered,
// in order, with its bytes exactly as offered. A snapshot of an empty
// clipboard restores to an empty clipboard.
struct PasteboardSnapshot
{
    using Format = std::pair<QString, QByteArray>; // MIME type, bytes

    // One entry per clipboard item, each an ordered list of formats. The X11
    // clipboard holds at most one item.
    QList<QList<Format>> items;

    bool isEmpty() const { return items.isEmpty(); }
    // The bytes of `mimeType` in the first item that has it; null when none.
    QByteArray data(const QString &mimeType) const;
    // Every MIME type of every item, in order.
    QStringList formats() const;

    friend bool operator==(const PasteboardSnapshot &, const PasteboardSnapshot &) = default;
};
