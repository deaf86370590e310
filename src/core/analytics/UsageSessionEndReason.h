#pragma once

#include <QString>

// Why a usage session (one opening of the command bar) ended. Each value is
// sent as its string in "UsageSession.ended".
enum class UsageSessionEndReason {
    escapeKey,
    outsideClick,
    toggleShortcut,
    replacedSelection,
    appTerminated,
    reopened,
    // No sender yet; kept so the vocabulary is complete.
    closed,
    screenSelectionShortcut,
};

// "escape_key", "outside_click", ...
QString analyticsName(UsageSessionEndReason reason);
