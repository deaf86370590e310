#include "core/providers/AIProvider.h"

#include "core/catalog/SharedModelCatalogStore.h"

QString analyticsName(ProviderAuthenticationMode mode)
{
    return mode == ProviderAuthenticationMode::oauth ? QStringLiteral("oauth")
                                                     : QStringLiteral("api_key");
}

AIProvider::AIProvider(QString id, QString displayName, QString apiKeyAccount,
                       AIRequestTimeoutRetryPolicy policy, QStringList legacyApiKeyAccounts)
    : m_id(std::move(id))
    , m_displayName(std::move(displayName))
    , m_apiKeyAccount(std::move(apiKeyAccount))
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

std::optional<QUrl> AIProvider::serviceOrigin() const
{
    const auto &endpoints = SharedModelCatalogStore::shared().endpointByProviderID();
    const auto found = endpoints.find(m_id);
    if (found == endpoints.end())
        return std::nullopt;
    // Only the origin is taken, so Gemini's "{model}" in the path is no bother.
    const QUrl url(*found);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment |
                        QUrl::RemoveUserInfo);
}

QString AIProvider::apiKeyDocsTitle() const
{
    return QStringLiteral("Get ") + m_displayName + QStringLiteral(" API Key");
}
