#pragma once

#include "core/desktop/KeychainStore.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/AppConfig.h"
#include "core/settings/UserCommand.h"
#include "core/settings/UserDefaults.h"

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// Where the user's settings live and how a usable provider configuration is
// resolved from them: the current provider, each provider's model and
// credential, and the saved commands. Plain settings are in UserDefaults, API
// keys in the keychain, the subscription session with the sign-in manager.
//
// Nothing is cached: every call reads the stores afresh, so any number of
// instances (and processes) agree. Synchronous; failures of the stores read as
// absent values.
class SettingsStore
{
public:
    // The apiKey of a subscription configuration.
    static inline const QString oauthSessionPlaceholder = QStringLiteral("oauth-session");

    // The application's keychain in `secrets`, the user's settings file and
    // the shared registry.
    explicit SettingsStore(std::shared_ptr<SecretStore> secrets);
    // Over other stores (tests).
    SettingsStore(KeychainStore keychain, const QString &settingsFilePath,
                  const AIProviderRegistry &registry);

    using Factory = std::function<std::unique_ptr<SettingsStore>()>;
    // Makes stores over the application's keychain in `secrets`, the user's
    // settings file and `registry`; callable from any thread.
    static Factory userStores(const AIProviderRegistry &registry,
                              std::shared_ptr<SecretStore> secrets);

    const KeychainStore &keychain() const { return m_keychain; }
    UserDefaults &defaults() { return m_defaults; }
    const AIProviderRegistry &registry() const { return m_registry; }

    // The provider stored as current, or the registry's default.
    AIProviderPointer currentProvider() const;
    void setCurrentProvider(const AIProvider &provider);

    // The stored model, trimmed, or the provider's default model when blank.
    QString model(const AIProvider &provider) const;
    void setModel(const QString &model, const AIProvider &provider);

    // The server address stored for a provider whose server the user
    // chooses; empty when none is stored or it is no longer acceptable.
    QUrl serverAddress(const AIProvider &provider) const;
    void setServerAddress(const QUrl &address, const AIProvider &provider);
    // Scheme, host and port the provider's requests connect to: the stored
    // server's for a provider the user points at a server of their own.
    std::optional<QUrl> serviceOrigin(const AIProvider &provider) const;

    // The provider's key, copying one found under a legacy account forward.
    std::optional<QString> readApiKey(const AIProvider &provider) const;
    // Stores the key as given (callers trim it); an empty key deletes it.
    // Does nothing for the subscription provider.
    void saveApiKey(const QString &key, const AIProvider &provider) const;

    // A model, and the key or the signed-in account; a provider whose server
    // the user chooses needs its stored address, and a key only when it is
    // not optional.
    bool hasValidConfig(const AIProvider &provider) const;
    std::optional<AppConfig> loadConfig(const AIProvider &provider) const;
    // The configuration a request is sent with: the current provider's, or
    // else the first other provider's in registry order, which then becomes
    // current.
    std::optional<AppConfig> loadConfig();

    // The saved commands; the default ones when none (or nothing readable) is stored.
    QList<UserCommand> loadCommands();
    void saveCommands(const QList<UserCommand> &commands);
    // Applies `change` to the stored list with no other write in between, so
    // a window that shows the list changes one command without undoing what
    // another process or an editor changed meanwhile. `change` must not use
    // this store.
    void updateCommands(const std::function<void(QList<UserCommand> &)> &change);
    // The instruction of the first command whose shorthand equals the text,
    // trimmed, ignoring case.
    std::optional<QString> resolveCommand(const QString &text);
    // That command itself.
    std::optional<UserCommand> savedCommand(const QString &text);

    bool didCompleteOnboarding() const;
    void setDidCompleteOnboarding(bool completed);
    bool launchAtLoginEnabled() const;
    void setLaunchAtLoginEnabled(bool enabled);
    // The language every reply is written in ("German"); empty: the
    // selection's own.
    QString replyLanguage() const;
    void setReplyLanguage(const QString &language);
    bool instructionHistoryEnabled() const;
    void setInstructionHistoryEnabled(bool enabled);

private:
    const KeychainStore m_keychain;
    UserDefaults m_defaults;
    const AIProviderRegistry &m_registry;
};
