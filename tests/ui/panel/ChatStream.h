#pragma once

#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// OpenAI-style streamed replies for the local server.
namespace ChatStream {

inline const QByteArray chatPath = "/openai/v1/chat";

inline QByteArray delta(const QString &text)
{
    return TestHttpServer::sseData(
        QJsonObject{{QStringLiteral("choices"),
                     QJsonArray{QJsonObject{{QStringLiteral("delta"),
                                             QJsonObject{{QStringLiteral("content"), text}}}}}}});
}

// The pieces, `delayMs` apart, then the end of the stream.
inline TestHttpServer::Response reply(const QStringList &pieces, int delayMs = 20)
{
    QList<QByteArray> events;
    for (const QString &piece : pieces)
        events.append(delta(piece));
    events.append(TestHttpServer::sseData(QByteArrayLiteral("[DONE]")));
    return TestHttpServer::Response::eventStream(events, delayMs);
}

// The pieces, then nothing more until the test lets it go.
inline TestHttpServer::Response stalled(const QStringList &pieces, int delayMs = 20)
{
    QList<QByteArray> events;
    for (const QString &piece : pieces)
        events.append(delta(piece));
    return TestHttpServer::Response::eventStream(events, delayMs)
        .withEnding(TestHttpServer::Response::Ending::stall);
}

} // namespace ChatStream
