#pragma once

#include <QString>

// What a submitted instruction's reply is for.
enum class SubmitAction {
    // Show the reply in the command bar.
    showOutput,
    // Write the reply over the captured selection.
    replaceSelection,
};

// "show_output" or "replace_selection", as analytics reports it.
inline QString analyticsName(SubmitAction action)
{
    return action == SubmitAction::replaceSelection ? QStringLiteral("replace_selection")
                                                    : QStringLiteral("show_output");
}
