#include "cli/KeyCommand.h"

#include "cli/ProviderArgument.h"
#include "cli/Terminal.h"
#include "core/settings/ApiKeyCheck.h"
#include "core/settings/SettingsStore.h"
#include "core/support/FileLogger.h"
#include "core/support/Utf8.h"

namespace {

// Far more than any provider's key; a larger input is something else.
constexpr qsizetype maximumKeyInputBytes = 64 * 1024;

QString usage()
{
    return QStringLiteral("Usage: wrenlark key set PROVIDER_ID | wrenlark key delete PROVIDER_ID");
}

// The provider to store a key for; null (after a message) for unknown ones
// and for the subscription account, which has a sign-in instead of a key.
AIProviderPointer keyProvider(const QString &id)
{
    const AIProviderPointer provider = providerArgument(id);
    if (provider && provider->authenticationMode() != ProviderAuthenticationMode::apiKey) {
        Terminal::printError(
            QStringLiteral("%1 uses a sign-in, not an API key. Sign in with: wrenlark signin")
                .arg(provider->displayName()));
        return nullptr;
    }
    return provider;
}

// The key from standard input: typed without echo on a terminal, else
// everything piped in. Never from the command line, where other users and
// the shell history could see it.
std::optional<QString> readKey(const AIProvider &provider, int *exitStatus)
{
    *exitStatus = ExitStatus::usage;
    if (Terminal::standardInputIsTerminal()) {
        bool interrupted = false;
        auto line = Terminal::readHiddenLine(
            QStringLiteral("API key for %1 (not shown): ").arg(provider.displayName()),
            &interrupted);
        if (interrupted)
            *exitStatus = ExitStatus::interrupted;
        return line;
    }
    bool tooLarge = false;
    auto bytes = Terminal::readAllInput(maximumKeyInputBytes, &tooLarge);
    if (tooLarge) {
        Terminal::printError(QStringLiteral("wrenlark key: standard input holds more than %1 KiB, "
                                            "which is no API key.")
                                 .arg(maximumKeyInputBytes / 1024));
        return std::nullopt;
    }
    const auto text = bytes ? decodeUtf8Strictly(*bytes) : std::nullopt;
    if (bytes)
        Terminal::wipe(&*bytes);
    if (!text) {
        Terminal::printError(
            QStringLiteral("wrenlark key: standard input is not readable UTF-8 text."));
        return std::nullopt;
    }
    return text;
}

int failedToStore(const QString &what)
{
    FileLogger::shared().flush();
    Terminal::printError(
        QStringLiteral("Could not %1 in the Secret Service (your desktop's keyring). "
                       "Details are in %2")
            .arg(what, FileLogger::shared().logFilePath()));
    return ExitStatus::failure;
}

int deleteKey(SettingsStore &store, const AIProvider &provider)
{
    store.saveApiKey(QString(), provider);
    if (store.readApiKey(provider))
        return failedToStore(
            QStringLiteral("remove the API key for %1").arg(provider.displayName()));
    Terminal::writeOutput(
        QStringLiteral("Removed the API key for %1.\n").arg(provider.displayName()));
    return ExitStatus::success;
}

int setKey(const AIProvider &provider, const std::shared_ptr<SecretStore> &secrets)
{
    int exitStatus = ExitStatus::usage;
    const auto input = readKey(provider, &exitStatus);
    if (!input)
        return exitStatus;
    const QString key = input->trimmed();
    if (!ApiKeyCheck::isPlausible(key)) {
        Terminal::printError(QStringLiteral("wrenlark key: the key contains blanks or line breaks; "
                                            "give the key alone. Nothing was stored."));
        return ExitStatus::usage;
    }
    SettingsStore store(secrets);
    if (key.isEmpty())
        return deleteKey(store, provider);
    store.saveApiKey(key, provider);
    // The store only logs its failures; reading the key back tells whether it is there.
    if (store.keychain().read(provider.apiKeyAccount()) != key)
        return failedToStore(
            QStringLiteral("store the API key for %1").arg(provider.displayName()));
    Terminal::writeOutput(
        QStringLiteral("Stored the API key for %1.\n").arg(provider.displayName()));
    return ExitStatus::success;
}

int runKey(const QStringList &arguments, const std::shared_ptr<SecretStore> &secrets)
{
    if (arguments.size() != 2 ||
        (arguments[0] != QStringLiteral("set") && arguments[0] != QStringLiteral("delete"))) {
        Terminal::printError(usage());
        return ExitStatus::usage;
    }
    const AIProviderPointer provider = keyProvider(arguments[1]);
    if (!provider)
        return ExitStatus::usage;
    if (arguments[0] == QStringLiteral("set"))
        return setKey(*provider, secrets);
    SettingsStore store(secrets);
    return deleteKey(store, *provider);
}

} // namespace

CliCommand keyCommand(std::shared_ptr<SecretStore> secrets)
{
    return {
        QStringLiteral("key"),
        QStringLiteral("set PROVIDER_ID | delete PROVIDER_ID"),
        QStringLiteral("Store or remove a provider's API key."),
        QStringLiteral("`key set` reads the key from standard input: pipe it in, or type it when\n"
                       "asked (it is not shown). An empty key removes the stored one. Keys are\n"
                       "kept in the Secret Service (your desktop's keyring), never in a file.\n"
                       "\n"
                       "Examples:\n"
                       "  wrenlark key set openai\n"
                       "  wrenlark key set anthropic < anthropic-key.txt\n"
                       "  wrenlark key delete openrouter"),
        [secrets](const QStringList &arguments) { return runKey(arguments, secrets); },
    };
}
