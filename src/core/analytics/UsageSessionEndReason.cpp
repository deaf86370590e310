#include "core/analytics/UsageSessionEndReason.h"

QString analyticsName(UsageSessionEndReason reason)
{
    switch (reason) {
    case UsageSessionEndReason::escapeKey:
        return QStringLiteral("escape_key");
    case UsageSessionEndReason::outsideClick:
        return QStringLiteral("outside_click");
    case UsageSessionEndReason::toggleShortcut:
        return QStringLiteral("toggle_shortcut");
    case UsageSessionEndReason::replacedSelection:
        return QStringLiteral("replaced_selection");
    case UsageSessionEndReason::appTerminated:
        return QStringLiteral("app_terminated");
    case UsageSessionEndReason::reopened:
        return QStringLiteral("reopened");
    case UsageSessionEndReason::closed:
        return QStringLiteral("closed");
    case UsageSessionEndReason::screenSelectionShortcut:
        return QStringLiteral("screen_selection_shortcut");
    }
    return {};
}
