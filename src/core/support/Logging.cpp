#include "core/support/Logging.h"

// Information and up: debug messages stay off unless QT_LOGGING_RULES turns
// them on.
Q_LOGGING_CATEGORY(lcApp, "wrenlark.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCli, "wrenlark.cli", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAi, "wrenlark.ai", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAuth, "wrenlark.auth", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAnalytics, "wrenlark.analytics", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCatalog, "wrenlark.catalog", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "wrenlark.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSupport, "wrenlark.support", QtInfoMsg)
Q_LOGGING_CATEGORY(lcKeychain, "wrenlark.keychain", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSession, "wrenlark.session", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDesktop, "wrenlark.desktop", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSelection, "wrenlark.selection", QtInfoMsg)
Q_LOGGING_CATEGORY(lcClipboard, "wrenlark.clipboard", QtInfoMsg)
Q_LOGGING_CATEGORY(lcReplacement, "wrenlark.replacement", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShortcuts, "wrenlark.shortcuts", QtInfoMsg)
Q_LOGGING_CATEGORY(lcKeys, "wrenlark.keys", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCapture, "wrenlark.capture", QtInfoMsg)
