#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// Every key of the settings file, declared once: its name as stored (never
// renamed, so files written by earlier versions stay readable), its type,
// what an unset key reads as, and what it means. Secrets are never here:
// they live in the Secret Service.
namespace SettingsKeys {

struct Key
{
    QString name;
    QMetaType::Type type;
    // What an unset key reads as; invalid when it has no default.
    QVariant defaultValue;
    const char *meaning;
};

inline const Key currentProvider{QStringLiteral("ai_provider_current"),
                                 QMetaType::QString,
                                 {},
                                 "The id of the provider requests go to."};
inline const Key didCompleteOnboarding{QStringLiteral("did_complete_onboarding"), QMetaType::Bool,
                                       false,
                                       "Setup was completed; it is not shown at start again."};
inline const Key userCommands{QStringLiteral("user_commands"),
                              QMetaType::QString,
                              {},
                              "The saved commands (shorthand and instruction), as JSON."};
inline const Key unreadableUserCommands{
    QStringLiteral("user_commands_unreadable"),
    QMetaType::QString,
    {},
    "A \"user_commands\" value that could not be read, kept when the defaults replaced it."};
inline const Key launchAtLoginEnabled{QStringLiteral("launch_at_login_enabled"), QMetaType::Bool,
                                      true, "Wrenlark starts when the user logs in."};
inline const Key keyboardShortcutsInitialized{
    QStringLiteral("keyboard_shortcuts_initialized"), QMetaType::Bool, false,
    "The first start gave the shortcut its default; a shortcut cleared later stays cleared."};
inline const Key trayMissingNoticeShown{
    QStringLiteral("tray_missing_notice_shown"), QMetaType::Bool, false,
    "The notice that this desktop shows no tray icon was given once."};
inline const Key replyLanguage{
    QStringLiteral("reply_language"), QMetaType::QString, QString(),
    "The language replies are written in, by its English name; empty: the selection's own."};
inline const Key instructionHistoryEnabled{
    QStringLiteral("instruction_history_enabled"), QMetaType::Bool, true,
    "Instructions sent from the command bar are kept, so that Up in the bar brings them back."};

// The keys above.
QList<Key> all();

// One key per provider: its chosen model ("openai_model", "openai_pro_plus_model").
QString model(const QString &providerID);
// One key per global shortcut: its chord in portable text ("Alt+Space"), or
// empty when the user cleared it ("keyboard_shortcut_toggleWrenlark").
QString shortcut(const QString &shortcutName);
// One key per provider whose server the user chooses: its address
// ("local_server_address"). Stored once the user set the provider up.
QString serverAddress(const QString &providerID);

// What the key named `name` reads as while unset; invalid when nothing.
QVariant defaultValue(const QString &name);

} // namespace SettingsKeys
