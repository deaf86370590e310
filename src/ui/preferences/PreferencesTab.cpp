#include "ui/preferences/PreferencesTab.h"

QString analyticsName(PreferencesTab tab)
{
    switch (tab) {
    case PreferencesTab::commands:
        return QStringLiteral("commands");
    case PreferencesTab::providers:
        return QStringLiteral("providers");
    case PreferencesTab::general:
        return QStringLiteral("general");
    }
    return {};
}
