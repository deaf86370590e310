#pragma once

#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIReply.h"
#include "core/ai/AIRequestOptions.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class AIRequestAttempt;
class QNetworkAccessManager;

// Runs the HTTP requests that the provider families build and turns their
// answers into one reply text: whole bodies or server-sent-event streams,
// error bodies turned into messages, and the time-out policies (one replay
// after a time-out, or a hedged second attempt when the first stays silent).
// One instance per process, used on the main thread.
class AIClient : public QObject
{
    Q_OBJECT

public:
    explicit AIClient(QObject *parent = nullptr);
    ~AIClient() override;

    // The HTTP session all requests use; its default idle time-out is 60 s.
    QNetworkAccessManager *session() const { return m_session; }

    // A whole (non-streamed) answer.
    AIReply *performRequest(const AIHttpRequest &request, const AIRequestOptions &options,
                            AIDecodeFunction decode);

    // A server-sent-event stream; `onPartialResponse` (may be empty) receives
    // the whole text so far after every non-empty piece, from the attempt that
    // owns the stream only. A stream that breaks after text arrived fails with
    // AIClientError::streamInterrupted carrying that text.
    AIReply *performStreamingRequest(const AIHttpRequest &request, const AIRequestOptions &options,
                                     AIPartialResponseHandler onPartialResponse,
                                     AIDecodeChunkFunction decodeChunk);

    // Opens a connection (TLS included) to the origin ahead of the first
    // request, so that request does not wait for the handshakes. Qt keeps
    // it with the session's other idle connections.
    void warmUp(const QUrl &origin);

    // Forgets the idle connections kept for later requests (the network
    // changed: they may lead nowhere now).
    void dropKeptConnections();
    // Also ends every transfer in flight as broken by `reason` (the machine
    // slept: their connections are dead, and would only run into the
    // time-out). Streamed text already shown is kept as interrupted.
    void dropAllConnections(const QString &reason);

private:
    AIRequestAttempt *track(AIRequestAttempt *attempt);

    QNetworkAccessManager *m_session;
    // The attempts started so far that may still run.
    QList<QPointer<AIRequestAttempt>> m_attempts;
};
