#pragma once

#include "core/ai/AIReply.h"
#include "core/ai/AIRequestContext.h"
#include "core/ai/AIRequestOptions.h"
#include "core/ai/AIRequestTimeoutRetryPolicy.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

class AIClient;
class ProviderAccount;

enum class ProviderAuthenticationMode { apiKey, oauth };

// "api_key" or "oauth", as analytics reports it.
QString analyticsName(ProviderAuthenticationMode mode);

// An AI service the system can talk to: where its secret and chosen model
// are stored, its default model, how it authenticates, which time-out policy
// its requests follow, and how it turns a request context into text.
// Providers are immutable once built and may be shared between threads.
class AIProvider
{
public:
    virtual ~AIProvider() = default;

    QString id() const { return m_id; }
    QString displayName() const { return m_displayName; }
    QString apiKeyAccount() const { return m_apiKeyAccount; }
    QStringList legacyApiKeyAccounts() const { return m_legacyApiKeyAccounts; }
    AIRequestTimeoutRetryPolicy requestTimeoutRetryPolicy() const
    {
        return m_requestTimeoutRetryPolicy;
    }

    // What every request of this provider runs under: 60 s for each attempt,
    // hedge after 20 s silent, the provider's policy.
    AIRequestOptions requestOptions() const
    {
        return AIRequestOptions::standard(m_id, m_requestTimeoutRetryPolicy);
    }

    virtual QString defaultModel() const = 0;
    virtual ProviderAuthenticationMode authenticationMode() const = 0;
    // The account signed in to instead of a key; null for a key provider.
    virtual ProviderAccount *account() const { return nullptr; }
    // A server of the user's own (a local one) may need no key.
    virtual bool isKeyOptional() const { return false; }
    // Whether the user points it at a server of their own (a local one),
    // whose address the settings keep.
    virtual bool userChoosesServer() const { return false; }
    // The address such a provider suggests ("http://127.0.0.1:11434/v1");
    // empty otherwise.
    virtual QUrl suggestedServerAddress() const { return {}; }

    // The model catalog's list for this provider.
    QStringList modelOptions() const;
    // The catalog's key-help page, when it has one and it parses.
    std::optional<QUrl> apiKeyDocsURL() const;
    // Scheme, host and port of the catalog's endpoint, when it has a usable
    // one: where this provider's requests connect.
    std::optional<QUrl> serviceOrigin() const;
    // "Get " + displayName + " API Key"
    QString apiKeyDocsTitle() const;

    // Sends one request. When `onPartialResponse` is set and the family
    // streams, it receives the whole text so far after each new piece;
    // families that answer in one piece never call it. The reply is owned by
    // the caller.
    virtual AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                                 AIPartialResponseHandler onPartialResponse) const = 0;

protected:
    AIProvider(QString id, QString displayName, QString apiKeyAccount,
               AIRequestTimeoutRetryPolicy policy, QStringList legacyApiKeyAccounts = {});

private:
    QString m_id;
    QString m_displayName;
    QString m_apiKeyAccount;
    QStringList m_legacyApiKeyAccounts;
    AIRequestTimeoutRetryPolicy m_requestTimeoutRetryPolicy;
};
