#pragma once

#include "core/ai/AIClientError.h"
#include "core/ai/AIDecodeResult.h"
#include "core/ai/AIHttpRequest.h"
#include "core/ai/AIReply.h"
#include "core/ai/ServerSentEventLineReader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

// One HTTP transfer of a request, as the time-out runners start it. It
// reports its outcome once, unless it is aborted first; after abort() it
// reports nothing. Lives on the main thread.
class AIRequestAttempt : public QObject
{
public:
    struct Outcome
    {
        std::optional<QString> text;
        std::optional<AIClientError> error;
    };
    // Called when the first response data arrives; answers whether this
    // attempt may hand partial text to the caller.
    using ResponseStartHandler = std::function<bool()>;
    using CompletionHandler = std::function<void(const Outcome &outcome)>;

    ~AIRequestAttempt() override;

    void start(CompletionHandler onComplete);
    // Stops the transfer (the server sees the connection close).
    void abort();
    // Ends the transfer as failed by `cause`, as if its connection broke
    // (text already shown is kept, marked as interrupted).
    virtual void loseConnection(const AIClientError &cause) { fail(cause); }

protected:
    AIRequestAttempt(QNetworkAccessManager *session, const AIHttpRequest &request,
                     ResponseStartHandler onResponseStart, QObject *parent);

    // How many bytes the network thread may read ahead of this attempt; 0:
    // no bound.
    virtual qint64 readAheadLimit() const { return 0; }
    virtual void responseHeadArrived() {}
    virtual void bytesArrived(const QByteArray &bytes) = 0;
    virtual void transferFinished() = 0;

    // The HTTP status, when a response head has arrived.
    std::optional<int> httpStatus() const;
    // The transport failure the transfer ended with, if any (an HTTP error
    // status alone is not one).
    std::optional<AIClientError> transportFailure() const;
    bool responseStarted();
    bool isDone() const { return m_done; }

    // What becomes of the transfer when the attempt ends before it: aborted,
    // or left to finish in the background (keeping its connection for the
    // next request) with whatever still arrives ignored.
    enum class Release { abort, drain };

    void succeed(const QString &text);
    void fail(const AIClientError &error, Release release = Release::abort);

    // Owned by the session, so it never outlives it.
    QPointer<QNetworkReply> m_reply;

    const AIHttpRequest &request() const { return m_request; }

private:
    void send(QNetworkAccessManager *session);
    // The request went out on a kept connection that the server had closed:
    // nothing of it can have been answered, so it may be sent once more.
    bool wasDroppedOnKeptConnection() const;
    void resendOnFreshConnection();
    void complete(const Outcome &outcome, Release release);
    void releaseReply(Release release);

    QPointer<QNetworkAccessManager> m_session;
    AIHttpRequest m_request;
    ResponseStartHandler m_onResponseStart;
    CompletionHandler m_onComplete;
    bool m_done = false;
    // Of the current transfer: Qt opened a connection for it, and any of the
    // response arrived.
    bool m_openedConnection = false;
    bool m_responseArrived = false;
    bool m_resent = false;
};

// A whole (non-streamed) answer: the body is collected as it arrives and
// decoded at the end.
class AIWholeResponseAttempt : public AIRequestAttempt
{
public:
    // No answer of a provider comes near this; a body that grows beyond it
    // is refused as it arrives, before it fills memory.
    static constexpr qsizetype maximumBodyBytes = 16 * 1024 * 1024;

    AIWholeResponseAttempt(QNetworkAccessManager *session, const AIHttpRequest &request,
                           ResponseStartHandler onResponseStart, AIDecodeFunction decode,
                           QObject *parent);

protected:
    qint64 readAheadLimit() const override;
    void bytesArrived(const QByteArray &bytes) override;
    void transferFinished() override;

private:
    AIDecodeFunction m_decode;
    QByteArray m_body;
    bool m_startReported = false;
};

// A server-sent-event stream: every "data:" line is decoded once, its piece
// appended to the text, and the whole text so far handed to the caller.
class AIStreamingResponseAttempt : public AIRequestAttempt
{
public:
    // No event of any provider comes near this; a line growing beyond it
    // fails the stream instead of filling memory.
    static constexpr qsizetype maximumEventLineBytes = 4 * 1024 * 1024;

    AIStreamingResponseAttempt(QNetworkAccessManager *session, const AIHttpRequest &request,
                               ResponseStartHandler onResponseStart,
                               AIPartialResponseHandler onPartialResponse,
                               AIDecodeChunkFunction decodeChunk, QObject *parent);

    void loseConnection(const AIClientError &cause) override { streamBroke(cause); }

protected:
    qint64 readAheadLimit() const override;
    void responseHeadArrived() override;
    void bytesArrived(const QByteArray &bytes) override;
    void transferFinished() override;

private:
    bool handleLine(QByteArrayView line);
    bool handlePayload(QByteArrayView payload);
    void endOfStream();
    void streamBroke(const AIClientError &cause);
    bool isCloseDelimited() const;
    bool rejectErrorStatus();

    AIPartialResponseHandler m_onPartialResponse;
    AIDecodeChunkFunction m_decodeChunk;
    ServerSentEventLineReader m_lines;
    ServerSentEventLineReader::LineHandler m_lineHandler;
    QString m_text;
    bool m_sawFirstLine = false;
    bool m_emit = false;
    bool m_sawEndEvent = false;
};
