#include "core/providers/AIProviderRegistry.h"

#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/providers/AnthropicProvider.h"
#include "core/providers/GoogleProvider.h"
#include "core/providers/OpenAICompatibleProvider.h"
#include "core/providers/OpenAIProPlusProvider.h"

#include <QtGlobal>

namespace {

// The providers with a wire format of their own are classes; the
// chat-completions family is described by its catalog entries.
AIProviderPointer builtInProvider(const SharedModelCatalogStore &catalog, const QString &id,
                                  OpenAIProPlusAuthManager &auth)
{
    if (id == QLatin1String("openai-pro-plus"))
        return std::make_shared<OpenAIProPlusProvider>(auth);
    if (id == QLatin1String("anthropic"))
        return std::make_shared<AnthropicProvider>();
    if (id == QLatin1String("google"))
        return std::make_shared<GoogleProvider>();
    QString problem;
    const auto profile =
        OpenAICompatibleProvider::profileFromCatalogEntry(catalog.entry(id), &problem);
    if (!profile)
        qFatal("The built-in model catalog is broken: %s", qPrintable(problem));
    return std::make_shared<OpenAICompatibleProvider>(*profile);
}

AIProviderPointer userProvider(const SharedModelCatalogStore &catalog, const QString &id)
{
    return std::make_shared<OpenAICompatibleProvider>(
        OpenAICompatibleProvider::profileOfUserEntry(catalog.entry(id)));
}

} // namespace

const AIProviderRegistry &AIProviderRegistry::shared()
{
    static const AIProviderRegistry registry = builtIn(OpenAIProPlusAuthManager::shared());
    return registry;
}

AIProviderRegistry AIProviderRegistry::builtIn(OpenAIProPlusAuthManager &auth)
{
    const SharedModelCatalogStore &catalog = SharedModelCatalogStore::shared();
    std::vector<AIProviderPointer> providers;
    for (const QString &id : catalog.providerIDs()) {
        providers.push_back(catalog.isUserProvider(id) ? userProvider(catalog, id)
                                                       : builtInProvider(catalog, id, auth));
    }
    return AIProviderRegistry(std::move(providers), QStringLiteral("openai-pro-plus"));
}

AIProviderRegistry::AIProviderRegistry(std::vector<AIProviderPointer> providers,
                                       QString defaultProviderID)
    : m_providers(std::move(providers))
    , m_defaultProviderID(std::move(defaultProviderID))
{
    if (m_providers.empty())
        qFatal("The provider registry needs at least one provider");
    for (const auto &provider : m_providers) {
        if (m_providersByID.contains(provider->id()))
            qFatal("Duplicate values for key: '%s'", qPrintable(provider->id()));
        m_providersByID.insert(provider->id(), provider);
    }
}

AIProviderPointer AIProviderRegistry::provider(const QString &id) const
{
    return m_providersByID.value(id);
}

AIProviderPointer AIProviderRegistry::defaultProvider() const
{
    if (auto found = provider(m_defaultProviderID))
        return found;
    return m_providers.front();
}

ProviderAccount &AIProviderRegistry::signInAccount() const
{
    for (const auto &provider : m_providers) {
        if (ProviderAccount *account = provider->account())
            return *account;
    }
    qFatal("No provider of the registry signs in");
}
