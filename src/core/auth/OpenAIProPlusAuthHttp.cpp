#include "core/auth/OpenAIProPlusAuthHttp.h"

#include "core/support/ReplyBodyLimit.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace OpenAIProPlusAuthHttp {

QByteArray formBody(const FormFields &fields)
{
    QByteArrayList pairs;
    for (const auto &[name, value] : fields)
        pairs.append(QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value));
    return pairs.join('&');
}

namespace {

QNetworkReply *post(QNetworkAccessManager &session, const QUrl &url, const QByteArray &contentType,
                    const QByteArray &body, int timeoutMilliseconds, bool withUserAgent)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMilliseconds);
    // Codes and refresh tokens travel in the body: a redirect to another
    // origin must not carry them there.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    request.setRawHeader("Content-Type", contentType);
    if (withUserAgent)
        request.setRawHeader("User-Agent", "Wrenlark/1");
    QNetworkReply *reply = session.post(request, body);
    ReplyBodyLimit::apply(reply, maximumAnswerBytes);
    return reply;
}

} // namespace

QNetworkReply *postForm(QNetworkAccessManager &session, const QUrl &url, const FormFields &fields,
                        int timeoutMilliseconds)
{
    return post(session, url, "application/x-www-form-urlencoded", formBody(fields),
                timeoutMilliseconds, false);
}

QNetworkReply *postJson(QNetworkAccessManager &session, const QUrl &url, const QJsonObject &body,
                        int timeoutMilliseconds)
{
    return post(session, url, "application/json",
                QJsonDocument(body).toJson(QJsonDocument::Compact), timeoutMilliseconds, true);
}

Result result(QNetworkReply *reply)
{
    Result result;
    if (ReplyBodyLimit::wasExceeded(*reply)) {
        result.error = OpenAIProPlusAuthError::decodingFailed(
            QStringLiteral("The answer is larger than %1 KiB.").arg(maximumAnswerBytes / 1024));
        return result;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        result.statusCode = status.toInt();
        result.body = reply->readAll();
        return result;
    }
    switch (reply->error()) {
    case QNetworkReply::NoError:
        result.error = OpenAIProPlusAuthError::invalidResponse();
        break;
    // Nothing here aborts a reply that is still wanted: this is the idle time-out.
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        result.error = OpenAIProPlusAuthError::network(QNetworkReply::TimeoutError,
                                                       QStringLiteral("The request timed out."));
        break;
    default:
        result.error = OpenAIProPlusAuthError::network(reply->error(), reply->errorString());
        break;
    }
    return result;
}

} // namespace OpenAIProPlusAuthHttp
