#include "core/providers/OpenAICompatibleProvider.h"

#include "core/providers/ProviderWire.h"
#include "core/providers/ServerAddress.h"

#include <QJsonArray>

namespace {

std::optional<OpenAICompatibleProvider::Profile> refuse(QString *problem, const QString &id,
                                                        const QString &reason)
{
    if (problem)
        *problem = QStringLiteral("provider %1: %2").arg(id, reason);
    return std::nullopt;
}

bool readStrings(const QJsonValue &value, QStringList *out)
{
    if (value.isUndefined())
        return true;
    if (!value.isArray())
        return false;
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString())
            return false;
        out->append(item.toString());
    }
    return true;
}

bool readHeaders(const QJsonValue &value, QList<OpenAIChatAdapter::Header> *out)
{
    if (value.isUndefined())
        return true;
    if (!value.isObject())
        return false;
    const QJsonObject headers = value.toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it) {
        if (!it.value().isString() || !ProviderWire::isSendableHeaderValue(it.value().toString()))
            return false;
        out->append({it.key().toUtf8(), it.value().toString().toUtf8()});
    }
    return true;
}

} // namespace

std::optional<OpenAICompatibleProvider::Profile>
OpenAICompatibleProvider::profileFromCatalogEntry(const QJsonObject &entry, QString *problem)
{
    Profile profile;
    profile.id = entry.value(QStringLiteral("id")).toString();
    if (entry.value(QStringLiteral("protocol")).toString() != protocol)
        return refuse(problem, profile.id, QStringLiteral("is not \"%1\"").arg(protocol));
    profile.displayName = entry.value(QStringLiteral("name")).toString();
    profile.apiKeyAccount = entry.value(QStringLiteral("apiKeyAccount")).toString();
    profile.defaultModel = entry.value(QStringLiteral("defaultModel")).toString();
    if (profile.id.isEmpty() || profile.displayName.isEmpty() || profile.apiKeyAccount.isEmpty() ||
        profile.defaultModel.isEmpty())
        return refuse(problem, profile.id,
                      QStringLiteral("needs \"name\", \"apiKeyAccount\" and \"defaultModel\""));
    const auto policy =
        timeoutRetryPolicyNamed(entry.value(QStringLiteral("timeoutRetryPolicy")).toString());
    if (!policy)
        return refuse(problem, profile.id, QStringLiteral("unknown \"timeoutRetryPolicy\""));
    profile.timeoutRetryPolicy = *policy;
    if (!readStrings(entry.value(QStringLiteral("legacyApiKeyAccounts")),
                     &profile.legacyApiKeyAccounts) ||
        !readHeaders(entry.value(QStringLiteral("headers")), &profile.headers))
        return refuse(problem, profile.id,
                      QStringLiteral("\"legacyApiKeyAccounts\" or \"headers\" is malformed"));
    const QJsonValue idempotency = entry.value(QStringLiteral("idempotencyKeyHeader"));
    if (idempotency.isString())
        profile.idempotencyKeyHeader = idempotency.toString().toUtf8();
    profile.timeoutSeconds = entry.value(QStringLiteral("timeoutSeconds")).toDouble(60);
    if (profile.timeoutSeconds <= 0)
        return refuse(problem, profile.id, QStringLiteral("\"timeoutSeconds\" must be positive"));
    profile.keyOptional = entry.value(QStringLiteral("keyOptional")).toBool(false);
    profile.userChoosesServer = entry.value(QStringLiteral("userChoosesServer")).toBool(false);
    return profile;
}

OpenAICompatibleProvider::Profile
OpenAICompatibleProvider::profileOfUserEntry(const QJsonObject &entry)
{
    Profile profile;
    profile.id = entry.value(QStringLiteral("id")).toString();
    profile.displayName = entry.value(QStringLiteral("name")).toString();
    profile.apiKeyAccount = QString(profile.id).replace(u'-', u'_') + QStringLiteral("_api_key");
    const QJsonArray models = entry.value(QStringLiteral("models")).toArray();
    profile.defaultModel = models.at(0).toObject().value(QStringLiteral("id")).toString();
    profile.timeoutRetryPolicy = AIRequestTimeoutRetryPolicy::none;
    profile.timeoutSeconds = 180;
    profile.keyOptional = entry.value(QStringLiteral("keyOptional")).toBool(false);
    return profile;
}

OpenAICompatibleProvider::OpenAICompatibleProvider(Profile profile)
    : AIProvider(profile.id, profile.displayName, profile.apiKeyAccount, profile.timeoutRetryPolicy,
                 profile.legacyApiKeyAccounts)
    , m_profile(std::move(profile))
{
}

QUrl OpenAICompatibleProvider::suggestedServerAddress() const
{
    if (!m_profile.userChoosesServer)
        return {};
    return ServerAddress::checkEndpointOrAddress(ProviderWire::catalogEndpoint(id())).address;
}

AIReply *OpenAICompatibleProvider::sendRequest(AIClient &client, const AIRequestContext &context,
                                               AIPartialResponseHandler onPartialResponse) const
{
    return chatAdapter().send(client, context, std::move(onPartialResponse));
}

OpenAIChatAdapter OpenAICompatibleProvider::chatAdapter() const
{
    AIRequestOptions options = requestOptions();
    options.timeoutInterval = options.hedgedRequestTimeoutInterval = m_profile.timeoutSeconds;
    return OpenAIChatAdapter(id(), ProviderWire::catalogEndpoint(id()), m_profile.headers, options,
                             m_profile.idempotencyKeyHeader);
}
