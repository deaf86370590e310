#include "core/providers/ProviderWire.h"

#include "core/ai/AIReply.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/support/Logging.h"
#include "core/support/SecretMemory.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace ProviderWire {

std::optional<QUrl> parseEndpoint(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.isRelative() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return std::nullopt;
    return url;
}

QString catalogEndpoint(const QString &providerID)
{
    return SharedModelCatalogStore::shared().endpointByProviderID().value(providerID);
}

QNetworkRequest postRequest(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(requestTimeoutMilliseconds);
    // Every provider request carries a credential (a header or, for Gemini,
    // the query): a redirect is followed only within the same scheme, host
    // and port. Any other one fails the request (InsecureRedirectError).
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

bool isSendableHeaderValue(const QString &value)
{
    for (const QChar c : value) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
            return false;
    }
    return true;
}

void setBearerAuthorization(QNetworkRequest &request, const QString &credential)
{
    QByteArray utf8 = credential.toUtf8();
    request.setRawHeader("Authorization", "Bearer " + utf8);
    SecretMemory::wipe(utf8);
}

AIReply *notSent(const QString &providerID, const QString &reason)
{
    qCWarning(lcAi).noquote()
        << QStringLiteral("LLM request not sent for provider=%1: %2").arg(providerID, reason);
    return AIReply::failed(AIClientError::invalidResponse());
}

AIReply *noEndpoint(const QString &providerID)
{
    // A provider the user's catalog names but could not give has no endpoint
    // on purpose: it must not fall back to the built-in one.
    if (const auto message = SharedModelCatalogStore::shared().unreadableEntryMessage(providerID)) {
        qCWarning(lcAi).noquote()
            << QStringLiteral("LLM request not sent for provider=%1: %2").arg(providerID, *message);
        return AIReply::failed(AIClientError::other(*message, *message));
    }
    return notSent(providerID,
                   QStringLiteral("model-catalog.json has no http or https endpoint for it."));
}

AIReply *unsendableKey(const QString &providerID)
{
    qCWarning(lcAi).noquote()
        << QStringLiteral("LLM request not sent for provider=%1: the API key contains line breaks "
                          "or other control characters.")
               .arg(providerID);
    return AIReply::failed(AIClientError::other(
        QStringLiteral("The API key contains line breaks or other control characters."),
        QStringLiteral("The API key contains invalid characters. Please enter it again.")));
}

QByteArray encode(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool readString(const QJsonObject &object, const QString &name, QString *out)
{
    const QJsonValue value = object.value(name);
    if (!value.isString())
        return false;
    *out = value.toString();
    return true;
}

bool readOptionalString(const QJsonObject &object, const QString &name, std::optional<QString> *out)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined() || value.isNull()) {
        out->reset();
        return true;
    }
    if (!value.isString())
        return false;
    *out = value.toString();
    return true;
}

bool readObject(const QJsonObject &object, const QString &name, QJsonObject *out)
{
    const QJsonValue value = object.value(name);
    if (!value.isObject())
        return false;
    *out = value.toObject();
    return true;
}

bool readArray(const QJsonObject &object, const QString &name, QJsonArray *out)
{
    const QJsonValue value = object.value(name);
    if (!value.isArray())
        return false;
    *out = value.toArray();
    return true;
}

std::optional<QJsonObject> parseObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

} // namespace ProviderWire
