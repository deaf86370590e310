#pragma once

#include "core/desktop/SelectionContext.h"

#include <QMetaType>
#include <optional>

// The answer of one selection read.
struct SelectionResult
{
    std::optional<SelectionContext> context;
    // True exactly when reading other applications' text is not allowed here
    // (the accessibility bus is off); then context is absent.
    bool needsPermission = false;

    static SelectionResult empty() { return {}; }
    static SelectionResult permissionMissing() { return {std::nullopt, true}; }
    static SelectionResult withContext(SelectionContext context)
    {
        return {std::move(context), false};
    }
};

Q_DECLARE_METATYPE(SelectionResult)
