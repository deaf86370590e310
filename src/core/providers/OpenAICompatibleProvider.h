#pragma once

#include "core/providers/AIProvider.h"
#include "core/providers/OpenAIChatAdapter.h"

#include <QJsonObject>
#include <QList>
#include <optional>

// A provider that speaks OpenAI's chat-completions format (OpenAI itself,
// xAI, OpenRouter). What sets one apart from another is data: its catalog
// entry names it, its key account, its default model, its time-out policy
// and any extra headers.
class OpenAICompatibleProvider : public AIProvider
{
public:
    struct Profile
    {
        QString id;
        QString displayName;
        QString apiKeyAccount;
        QStringList legacyApiKeyAccounts;
        QString defaultModel;
        AIRequestTimeoutRetryPolicy timeoutRetryPolicy = AIRequestTimeoutRetryPolicy::none;
        QList<OpenAIChatAdapter::Header> headers;
        // Carries the request identity, so the service can drop a hedged twin.
        std::optional<QByteArray> idempotencyKeyHeader;
        // Each attempt's idle time-out; a local server may take long to load a model.
        double timeoutSeconds = 60;
        bool keyOptional = false;
        // The user points it at a server of their own; the catalog's
        // endpoint is only the suggestion.
        bool userChoosesServer = false;
    };

    static inline const QString protocol = QStringLiteral("openai-chat");

    // The profile a catalog entry of protocol "openai-chat" describes; nothing,
    // with the reason in `problem`, for another protocol or a malformed entry.
    static std::optional<Profile> profileFromCatalogEntry(const QJsonObject &entry,
                                                          QString *problem = nullptr);

    // A provider of the user's own, from an entry of the user's catalog that
    // the catalog has checked ("id", "name", "endpoint", "models", maybe
    // "keyOptional"): its key account follows from its identifier, its first
    // model is its default, and it gets a local server's patience (no second
    // attempt, 180 s).
    static Profile profileOfUserEntry(const QJsonObject &entry);

    explicit OpenAICompatibleProvider(Profile profile);

    QString defaultModel() const override { return m_profile.defaultModel; }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }
    bool isKeyOptional() const override { return m_profile.keyOptional; }
    bool userChoosesServer() const override { return m_profile.userChoosesServer; }
    // The catalog's endpoint without "/chat/completions".
    QUrl suggestedServerAddress() const override;

    AIReply *sendRequest(AIClient &client, const AIRequestContext &context,
                         AIPartialResponseHandler onPartialResponse) const override;

    // The chat adapter this provider sends through, built from its profile
    // and the catalog's endpoint.
    OpenAIChatAdapter chatAdapter() const;

private:
    Profile m_profile;
};
