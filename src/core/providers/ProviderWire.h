#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <optional>

class AIReply;

// What the provider families share when they build HTTP requests and read
// the JSON records of their wire formats.
namespace ProviderWire {

// The per-request idle time-out the request carries before the client
// applies its options.
inline constexpr int requestTimeoutMilliseconds = 60'000;

// An endpoint text parsed as an absolute http or https URL with a host;
// nothing otherwise.
std::optional<QUrl> parseEndpoint(const QString &text);

// The catalog's endpoint text for a provider; empty when it has no entry (the
// catalog may be the user's own file, which is reported, not fatal).
QString catalogEndpoint(const QString &providerID);

// A request to `url` with the standard time-out, following redirects only
// to the same origin; headers are the caller's.
QNetworkRequest postRequest(const QUrl &url);

// Whether `value` can be sent as an HTTP header value as it is: no line
// breaks or other control characters, which would end the header early.
bool isSendableHeaderValue(const QString &value);

// Sets "Authorization: Bearer <credential>"; the UTF-8 copy of the
// credential made for it is wiped (the header's own copy is Qt's).
void setBearerAuthorization(QNetworkRequest &request, const QString &credential);

// A reply that fails because the request could not be formed; the reason is
// logged without any URL or credential.
AIReply *notSent(const QString &providerID, const QString &reason);
// A reply that fails because the provider has no usable endpoint; when the
// user's catalog names it but could not be read, with the catalog's message.
AIReply *noEndpoint(const QString &providerID);
// A reply that fails because the key cannot travel in a header.
AIReply *unsendableKey(const QString &providerID);

// Compact JSON text of a record.
QByteArray encode(const QJsonObject &object);

// Readers for the members of a decoded record. A member that is absent or
// null counts as absent; a member of another type makes the record
// undecodable (the reader answers false).
bool readString(const QJsonObject &object, const QString &name, QString *out);
bool readOptionalString(const QJsonObject &object, const QString &name,
                        std::optional<QString> *out);
bool readObject(const QJsonObject &object, const QString &name, QJsonObject *out);
bool readArray(const QJsonObject &object, const QString &name, QJsonArray *out);

// The body as a JSON object; nothing when it is not one.
std::optional<QJsonObject> parseObject(const QByteArray &body);

} // namespace ProviderWire
