#pragma once

#include "core/auth/OpenAIProPlusAuthError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;

// The HTTP requests of the sign-in: form-encoded token requests and JSON
// device requests, all POSTs with an idle time-out.
namespace OpenAIProPlusAuthHttp {

// No answer of the sign-in comes near this (tokens are a few KiB); a longer
// one is cut off as it arrives and ends as a failure.
constexpr qint64 maximumAnswerBytes = 1024 * 1024;

struct Result
{
    // A transport failure, or a reply that is not HTTP.
    std::optional<OpenAIProPlusAuthError> error;
    int statusCode = 0;
    QByteArray body;

    bool isSuccess() const { return !error && statusCode >= 200 && statusCode <= 299; }
};

using FormFields = QList<std::pair<QString, QString>>;

// "name=value" pairs joined by "&", every character outside the unreserved
// set percent-encoded (a "+" in a token must not read as a space).
QByteArray formBody(const FormFields &fields);

QNetworkReply *postForm(QNetworkAccessManager &session, const QUrl &url, const FormFields &fields,
                        int timeoutMilliseconds);
// With "User-Agent: Wrenlark/1", as the device endpoints expect.
QNetworkReply *postJson(QNetworkAccessManager &session, const QUrl &url, const QJsonObject &body,
                        int timeoutMilliseconds);

// What a finished reply brought.
Result result(QNetworkReply *reply);

} // namespace OpenAIProPlusAuthHttp
