#pragma once

#include "core/desktop/AccessibleElement.h"

#include <QMetaType>
#include <QString>
#include <QtGlobal>
#include <optional>

// A selection as the element reports it, in the element's own offset units
// (whatever its accessibility interface counts in). Replacing writes back in
// the same units through the same element.
struct SelectionRange
{
    qint64 location = 0;
    qint64 length = 0;

    friend bool operator==(const SelectionRange &, const SelectionRange &) = default;
};

// What was selected, where, and in which process.
struct SelectionContext
{
    // The element the text was read from (or the focused element when the
    // text came from the clipboard); absent when none was found or for the
    // clipboard-only probe.
    AccessibleElementRef element;
    // Empty only for an insertion point (a caret without selection).
    QString selectedText;
    // Absent when the text did not come with a range (clipboard, PRIMARY).
    std::optional<SelectionRange> selectedRange;
    // The process that owns the text; 0 when unknown.
    qint32 pid = 0;
    // The element is a password field: nothing said about it is kept.
    bool isSecret = false;

    bool isInsertionPoint() const { return selectedText.isEmpty() && selectedRange.has_value(); }
};

Q_DECLARE_METATYPE(SelectionContext)
