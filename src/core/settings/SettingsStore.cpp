#include "core/settings/SettingsStore.h"

#include "core/auth/ProviderAccount.h"
#include "core/providers/ServerAddress.h"
#include "core/settings/SettingsKeys.h"
#include "core/support/Logging.h"

namespace {

bool usesSignIn(const AIProvider &provider)
{
    return provider.authenticationMode() == ProviderAuthenticationMode::oauth;
}

bool isSignedIn(const AIProvider &provider)
{
    return provider.account() && provider.account()->isConnected();
}

std::optional<QString> nonEmpty(std::optional<QString> text)
{
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

} // namespace

SettingsStore::SettingsStore(std::shared_ptr<SecretStore> secrets)
    : SettingsStore(KeychainStore(std::move(secrets)), UserDefaults::standardFilePath(),
                    AIProviderRegistry::shared())
{
}

SettingsStore::Factory SettingsStore::userStores(const AIProviderRegistry &registry,
                                                 std::shared_ptr<SecretStore> secrets)
{
    return [&registry, secrets = std::move(secrets)] {
        return std::make_unique<SettingsStore>(KeychainStore(secrets),
                                               UserDefaults::standardFilePath(), registry);
    };
}

SettingsStore::SettingsStore(KeychainStore keychain, const QString &settingsFilePath,
                             const AIProviderRegistry &registry)
    : m_keychain(std::move(keychain))
    , m_defaults(settingsFilePath)
    , m_registry(registry)
{
}

AIProviderPointer SettingsStore::currentProvider() const
{
    if (const auto id = m_defaults.string(SettingsKeys::currentProvider.name)) {
        if (auto provider = m_registry.provider(*id))
            return provider;
    }
    return m_registry.defaultProvider();
}

void SettingsStore::setCurrentProvider(const AIProvider &provider)
{
    m_defaults.setValue(SettingsKeys::currentProvider.name, provider.id());
}

QString SettingsStore::model(const AIProvider &provider) const
{
    const QString stored =
        m_defaults.string(SettingsKeys::model(provider.id())).value_or(QString()).trimmed();
    return stored.isEmpty() ? provider.defaultModel() : stored;
}

void SettingsStore::setModel(const QString &model, const AIProvider &provider)
{
    m_defaults.setValue(SettingsKeys::model(provider.id()), model);
}

QUrl SettingsStore::serverAddress(const AIProvider &provider) const
{
    if (!provider.userChoosesServer())
        return {};
    const auto stored = m_defaults.string(SettingsKeys::serverAddress(provider.id()));
    return stored ? ServerAddress::check(*stored).address : QUrl();
}

void SettingsStore::setServerAddress(const QUrl &address, const AIProvider &provider)
{
    m_defaults.setValue(SettingsKeys::serverAddress(provider.id()), address.toString());
}

std::optional<QUrl> SettingsStore::serviceOrigin(const AIProvider &provider) const
{
    if (!provider.userChoosesServer())
        return provider.serviceOrigin();
    const QUrl address = serverAddress(provider);
    if (address.isEmpty())
        return std::nullopt;
    return address.adjusted(QUrl::RemovePath);
}

std::optional<QString> SettingsStore::readApiKey(const AIProvider &provider) const
{
    if (auto key = nonEmpty(m_keychain.read(provider.apiKeyAccount())))
        return key;
    for (const QString &legacyAccount : provider.legacyApiKeyAccounts()) {
        if (auto key = nonEmpty(m_keychain.read(legacyAccount))) {
            m_keychain.save(provider.apiKeyAccount(), *key);
            return key;
        }
    }
    return std::nullopt;
}

void SettingsStore::saveApiKey(const QString &key, const AIProvider &provider) const
{
    if (usesSignIn(provider))
        return;
    if (!key.isEmpty()) {
        m_keychain.save(provider.apiKeyAccount(), key);
        return;
    }
    m_keychain.deleteItem(provider.apiKeyAccount());
    // A key left under an older account would be copied forward again by the
    // next read, bringing back the key the user just removed.
    for (const QString &legacyAccount : provider.legacyApiKeyAccounts()) {
        if (legacyAccount != provider.apiKeyAccount())
            m_keychain.deleteItem(legacyAccount);
    }
}

bool SettingsStore::hasValidConfig(const AIProvider &provider) const
{
    if (model(provider).isEmpty())
        return false;
    if (usesSignIn(provider))
        return isSignedIn(provider);
    if (provider.userChoosesServer() && serverAddress(provider).isEmpty())
        return false;
    return provider.isKeyOptional() || readApiKey(provider).has_value();
}

std::optional<AppConfig> SettingsStore::loadConfig(const AIProvider &provider) const
{
    const QString chosenModel = model(provider);
    if (chosenModel.isEmpty())
        return std::nullopt;
    if (usesSignIn(provider)) {
        if (!isSignedIn(provider))
            return std::nullopt;
        return AppConfig{provider.id(), oauthSessionPlaceholder, chosenModel, QUrl(),
                         replyLanguage()};
    }
    QUrl endpoint;
    if (provider.userChoosesServer()) {
        const QUrl address = serverAddress(provider);
        if (address.isEmpty())
            return std::nullopt;
        endpoint = ServerAddress::chatEndpoint(address);
    }
    const auto key = readApiKey(provider);
    if (!key && !provider.isKeyOptional())
        return std::nullopt;
    return AppConfig{provider.id(), key.value_or(QString()), chosenModel, endpoint,
                     replyLanguage()};
}

std::optional<AppConfig> SettingsStore::loadConfig()
{
    const AIProviderPointer current = currentProvider();
    if (auto config = loadConfig(*current))
        return config;
    for (const AIProviderPointer &provider : m_registry.providers()) {
        if (provider->id() == current->id())
            continue;
        if (auto config = loadConfig(*provider)) {
            setCurrentProvider(*provider);
            return config;
        }
    }
    return std::nullopt;
}

QList<UserCommand> SettingsStore::loadCommands()
{
    const QVariant stored = m_defaults.contains(SettingsKeys::userCommands.name)
                                ? m_defaults.value(SettingsKeys::userCommands.name)
                                : QVariant();
    if (stored.isValid()) {
        if (auto commands = UserCommand::decodeList(stored.toByteArray()))
            return *commands;
        // Replaced by the defaults below, but not lost: the user may want it back.
        m_defaults.setValue(SettingsKeys::unreadableUserCommands.name, stored);
        qCWarning(lcSettings).noquote()
            << QStringLiteral(
                   "Saved commands could not be read; the default commands replace them. "
                   "The unreadable value is kept as %1.")
                   .arg(SettingsKeys::unreadableUserCommands.name);
    }
    const QList<UserCommand> commands = UserCommand::defaultCommands();
    saveCommands(commands);
    return commands;
}

void SettingsStore::saveCommands(const QList<UserCommand> &commands)
{
    m_defaults.setValue(SettingsKeys::userCommands.name, UserCommand::encodeList(commands));
}

void SettingsStore::updateCommands(const std::function<void(QList<UserCommand> &)> &change)
{
    loadCommands(); // sets what cannot be read aside, so the change below starts from a list
    m_defaults.update(SettingsKeys::userCommands.name, [&](const QVariant &stored) {
        QList<UserCommand> commands =
            UserCommand::decodeList(stored.toByteArray()).value_or(QList<UserCommand>());
        change(commands);
        return QVariant(UserCommand::encodeList(commands));
    });
}

std::optional<QString> SettingsStore::resolveCommand(const QString &text)
{
    if (const auto command = savedCommand(text))
        return command->instruction;
    return std::nullopt;
}

std::optional<UserCommand> SettingsStore::savedCommand(const QString &text)
{
    const QString key = text.trimmed().toLower();
    if (key.isEmpty())
        return std::nullopt;
    for (const UserCommand &command : loadCommands()) {
        if (command.command.toLower() == key)
            return command;
    }
    return std::nullopt;
}

bool SettingsStore::didCompleteOnboarding() const
{
    return m_defaults.boolValue(SettingsKeys::didCompleteOnboarding.name);
}

void SettingsStore::setDidCompleteOnboarding(bool completed)
{
    m_defaults.setValue(SettingsKeys::didCompleteOnboarding.name, completed);
}

bool SettingsStore::launchAtLoginEnabled() const
{
    return m_defaults.boolValue(SettingsKeys::launchAtLoginEnabled.name);
}

void SettingsStore::setLaunchAtLoginEnabled(bool enabled)
{
    m_defaults.setValue(SettingsKeys::launchAtLoginEnabled.name, enabled);
}

QString SettingsStore::replyLanguage() const
{
    return m_defaults.string(SettingsKeys::replyLanguage.name).value_or(QString()).trimmed();
}

void SettingsStore::setReplyLanguage(const QString &language)
{
    m_defaults.setValue(SettingsKeys::replyLanguage.name, language.trimmed());
}

bool SettingsStore::instructionHistoryEnabled() const
{
    return m_defaults.boolValue(SettingsKeys::instructionHistoryEnabled.name);
}

void SettingsStore::setInstructionHistoryEnabled(bool enabled)
{
    m_defaults.setValue(SettingsKeys::instructionHistoryEnabled.name, enabled);
}
