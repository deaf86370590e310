#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QStringList>

// A complete HTTP request as a provider family builds it: the request (URL
// and headers), the method and the body. The AI client sends it unchanged,
// on every attempt, apart from the per-attempt time-out.
struct AIHttpRequest
{
    AIHttpRequest() = default;
    AIHttpRequest(const AIHttpRequest &) = default;
    AIHttpRequest(AIHttpRequest &&) = default;
    AIHttpRequest &operator=(const AIHttpRequest &) = default;
    AIHttpRequest &operator=(AIHttpRequest &&) = default;
    // The last copy wipes `secrets` (see SecretMemory): the request is built
    // once and its copies live as long as its attempts.
    ~AIHttpRequest();

    QNetworkRequest request;
    QByteArray method = QByteArrayLiteral("POST");
    QByteArray body;
    // The credentials the request carries (a key, an access token): removed,
    // in every encoding they may have travelled in, from every message built
    // from the server's answer.
    QStringList secrets;
    // The stream format ends with a known event ("[DONE]", or a completion
    // event its decoder reports): a stream delimited only by the connection's
    // close that ends without it was cut short.
    bool streamEndsWithEvent = false;
};
