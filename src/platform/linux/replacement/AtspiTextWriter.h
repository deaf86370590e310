#pragma once

#include "core/desktop/SelectionContext.h"

#include <QString>

class AtspiElement;

// Writes text into another application through AT-SPI EditableText: the
// range is deleted and the text inserted at its start, in the target
// toolkit's own units. Each write is checked by the element's character
// count, because toolkits report success for writes they ignored (a
// read-only view). Worker thread only.
namespace AtspiTextWriter {

struct Outcome
{
    bool written = false;
    // Why not, for the log.
    QString note;
};

// Replaces `range` of the element's text with `text`. Not written when the
// range no longer lies inside the text, or when it no longer holds
// `expected` (non-empty): the document changed since it was read, and
// writing there would overwrite other text.
Outcome replaceRange(const AtspiElement &element, SelectionRange range, const QString &expected,
                     const QString &text);

// Replaces the element's current selection with `text`. Not written when
// it has no selection.
Outcome replaceSelection(const AtspiElement &element, const QString &text);

} // namespace AtspiTextWriter
