#pragma once

#include <QString>
#include <QtGlobal>

// AT-SPI text offsets come in the target toolkit's own units: Qt counts
// UTF-16 code units, GTK (and the AT-SPI default) counts characters (code
// points). Converting at the boundary keeps accents, emoji and CJK intact.
enum class TextUnit { codePoints, utf16 };

namespace TextUnits {

// Length of `text` in `unit`.
qint64 length(const QString &text, TextUnit unit);
// The part of `text` from `start` for `length`, both in `unit`. Null when
// the range does not lie inside the text.
QString slice(const QString &text, qint64 start, qint64 length, TextUnit unit);
// The length argument EditableText.InsertText expects for `text`: Qt reads
// UTF-16 units, GTK (ATK) reads UTF-8 bytes.
int insertionLength(const QString &text, TextUnit unit);

} // namespace TextUnits
