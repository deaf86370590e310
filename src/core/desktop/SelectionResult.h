#pragma once

#include "core/desktop/SelectionContext.h"

#include <QMetaType>
#include <QString>
#include <optional>

// The answer of one selection read.
struct SelectionResult
{
    std::optional<SelectionContext> context;
    // True exactly when reading other applications' text is not allowed here
    // (the accessibility bus is off); then context is absent.
    bool needsPermission = false;
    // Why the desktop kept a selection from being read, for the user (it
    // cannot type the copy keystroke, say); empty when nothing stood in the
    // way. Only without a context.
    QString notice;

    static SelectionResult empty() { return {}; }
    static SelectionResult permissionMissing() { return {std::nullopt, true, {}}; }
    static SelectionResult unreadable(const QString &notice)
    {
        return {std::nullopt, false, notice};
    }
    static SelectionResult withContext(SelectionContext context)
    {
        return {std::move(context), false, {}};
    }
};

Q_DECLARE_METATYPE(SelectionResult)
