#include "cli/ProviderArgument.h"

#include "cli/Terminal.h"
#include "core/desktop/KeychainStore.h"
#include "core/support/FileLogger.h"

#include <QStringList>

QString providerIDList(bool apiKeyOnly)
{
    QStringList ids;
    for (const AIProviderPointer &provider : AIProviderRegistry::shared().providers()) {
        if (!apiKeyOnly || provider->authenticationMode() == ProviderAuthenticationMode::apiKey)
            ids.append(provider->id());
    }
    return ids.join(QStringLiteral(", "));
}

QString secretStoreUnavailableNote(const KeychainStore &keychain)
{
    const auto &backend = keychain.backend();
    if (backend && backend->isAvailable())
        return {};
    FileLogger::shared().flush();
    return QStringLiteral("The Secret Service (your desktop's keyring), where keys are kept, did "
                          "not answer; details are in %1")
        .arg(FileLogger::shared().logFilePath());
}

AIProviderPointer providerArgument(const QString &id)
{
    if (auto provider = AIProviderRegistry::shared().provider(id))
        return provider;
    Terminal::printError(QStringLiteral("wrenlark: unknown provider \"%1\". Providers: %2.")
                             .arg(id, providerIDList()));
    return nullptr;
}
