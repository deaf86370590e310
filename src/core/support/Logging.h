#pragma once

#include <QLoggingCategory>

// The application's logging categories, one per area, each named after the
// source folders it covers. Events go out with qCInfo, failures with
// qCWarning, always as a single string after noquote():
//
//     qCInfo(lcAi).noquote() << QStringLiteral("LLM request succeeded for ") + trace;
//
// FileLogger::installMessageSink() sends them to the log file as INFO and
// ERROR lines. Their arguments are not evaluated when a category is disabled
// (QT_LOGGING_RULES), so they must have no side effect.
Q_DECLARE_LOGGING_CATEGORY(lcApp)         // app/shell: the resident application
Q_DECLARE_LOGGING_CATEGORY(lcCli)         // app/cli
Q_DECLARE_LOGGING_CATEGORY(lcAi)          // core/ai and core/providers: requests to the models
Q_DECLARE_LOGGING_CATEGORY(lcAuth)        // core/auth
Q_DECLARE_LOGGING_CATEGORY(lcAnalytics)   // core/analytics
Q_DECLARE_LOGGING_CATEGORY(lcCatalog)     // core/catalog
Q_DECLARE_LOGGING_CATEGORY(lcSettings)    // core/settings
Q_DECLARE_LOGGING_CATEGORY(lcSupport)     // core/support: the user's configuration files
Q_DECLARE_LOGGING_CATEGORY(lcKeychain)    // core/desktop: the stored keys
Q_DECLARE_LOGGING_CATEGORY(lcSession)     // core/session
Q_DECLARE_LOGGING_CATEGORY(lcDesktop)     // platform/linux itself, its session, notifications,
                                          // autostart and desktops/* folders
Q_DECLARE_LOGGING_CATEGORY(lcSelection)   // platform/linux/selection
Q_DECLARE_LOGGING_CATEGORY(lcClipboard)   // platform/linux/clipboard
Q_DECLARE_LOGGING_CATEGORY(lcReplacement) // platform/linux/replacement: writing replies back
Q_DECLARE_LOGGING_CATEGORY(lcShortcuts)   // platform/linux/shortcuts
Q_DECLARE_LOGGING_CATEGORY(lcKeys)        // platform/linux/keys: typing keys
Q_DECLARE_LOGGING_CATEGORY(lcCapture)     // platform/linux/capture and ui/capture
