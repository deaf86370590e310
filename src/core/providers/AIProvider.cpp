#include "core/providers/AIProvider.h"

#include "core/catalog/SharedModelCatalogStore.h"

QString analyticsName(ProviderAuthenticationMode mode)
{
    return mode == ProviderAuthenticationMode::oauth ? QStringLiteral("oauth")
                                                     : QStringLiteral("api_key");
}

AIProvider::AIProvider(QString id, QString displayName, QString apiKeyAccount, QString modelKey,
                       AIRequestTimeoutRetryPolicy policy, QStringList legacyApiKeyAccounts)
    : m_id(std::move(id))
    , m_displayName(std::move(displayName))
    , m_apiKeyAccount(std::move(apiKeyAccount))
    , m_modelKey(std::move(modelKey))
    , m_legacyApiKeyAccounts(std::move(legacyApiKeyAccounts))
    , m_requestTimeoutRetryPolicy(policy)
{
}

QStringList AIProvider::modelOptions() const
{
    return SharedModelCatalogStore::shared().modelOptions(m_id);
}

std::optional<QUrl> AIProvider::apiKeyDocsURL() const
{
    const auto &urls = SharedModelCatalogStore::shared().apiKeyDocsURLByProviderID();
    const auto found = urls.find(m_id);
    if (found == urls.end())
        return std::nullopt;
    const QUrl url(*found, QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        return std::nullopt;
    return url;
}

QString AIProvider::apiKeyDocsTitle() const
{
    return QStringLiteral("Get ") + m_displayName + QStringLiteral(" API Key");
}
