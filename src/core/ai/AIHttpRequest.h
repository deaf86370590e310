#pragma once

#include <QByteArray>
#include <QNetworkRequest>

// A complete HTTP request as a provider family builds it: the request (URL
// and headers), the method and the body. The AI client sends it unchanged,
// on every attempt, apart from the per-attempt time-out.
struct AIHttpRequest
{
    QNetworkRequest request;
    QByteArray method = QByteArrayLiteral("POST");
    QByteArray body;
};
