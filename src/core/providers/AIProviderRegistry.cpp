#include "core/providers/AIProviderRegistry.h"

#include "core/providers/AnthropicProvider.h"
#include "core/providers/GoogleProvider.h"
#include "core/providers/OpenAIProPlusProvider.h"
#include "core/providers/OpenAIProvider.h"
#include "core/providers/OpenRouterProvider.h"
#include "core/providers/XAIProvider.h"

#include <QtGlobal>

const AIProviderRegistry &AIProviderRegistry::shared()
{
    static const AIProviderRegistry registry(
        {
            std::make_shared<OpenAIProPlusProvider>(),
            std::make_shared<OpenAIProvider>(),
            std::make_shared<AnthropicProvider>(),
            std::make_shared<GoogleProvider>(),
            std::make_shared<XAIProvider>(),
            std::make_shared<OpenRouterProvider>(),
        },
        QStringLiteral("openai-pro-plus"));
    return registry;
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
