#pragma once

#include "core/desktop/ReplacementOperation.h"
#include "core/desktop/SelectionContext.h"

#include <QString>

class QObject;

// Writes text over a captured selection in the application it came from (or
// at its caret for an insertion point): through the accessibility interface
// where that is reliable, otherwise by a synthesized paste that puts the
// user's clipboard back afterwards. Never blocks the calling (main) thread.
class ReplacementService
{
public:
    virtual ~ReplacementService() = default;

    virtual ReplacementOperation *replaceSelection(const SelectionContext &context,
                                                   const QString &text,
                                                   QObject *parent = nullptr) = 0;
};
