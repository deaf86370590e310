#include "core/ai/AIRequestAttempt.h"

#include "core/ai/AIRequestSupport.h"
#include "core/ai/NetworkProxies.h"
#include "core/ai/SinglePassRequestBody.h"
#include "core/support/Logging.h"

#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>

namespace {

// After "[DONE]" or an error status the reply is decided, but the server
// usually still sends the rest of the body; letting the transfer finish keeps
// the connection for the next request. A server that keeps sending is cut off
// after this long.
constexpr int drainLimitMilliseconds = 2000;

// A kept connection is dropped after idling this long: proxies and load
// balancers in front of the providers commonly close idle ones after 60 s,
// and a request sent on one they have closed needs a second try.
constexpr int keptConnectionLifetimeSeconds = 50;

bool isSuccessStatus(int status)
{
    return status >= 200 && status <= 299;
}

bool isRedirectStatus(int status)
{
    return status >= 300 && status <= 399;
}

// Qt's error texts for some failures quote the whole URL, and a URL may
// carry a key in its query: those are replaced by the error's name.
QString networkErrorText(const QNetworkReply *reply, QNetworkReply::NetworkError code)
{
    if (code == QNetworkReply::InsecureRedirectError)
        return QStringLiteral("The server redirected the request to another origin; the redirect "
                              "was not followed, so the credentials were not sent there.");
    // Bodies are sent once, so that no request ever reaches a server twice:
    // Qt cannot resend one to where a redirect points.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (code == QNetworkReply::ContentReSendError && isRedirectStatus(status))
        return QStringLiteral("The server redirected the request; requests are sent only once, "
                              "so the redirect was not followed.");
    const QString text = reply->errorString();
    if (!text.isEmpty() && !text.contains(u'?') && !text.contains(QStringLiteral("://")))
        return text;
    return QString::fromLatin1(QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code));
}

QByteArrayView trimmedSpacesAndTabs(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && (bytes[begin] == ' ' || bytes[begin] == '\t'))
        ++begin;
    while (end > begin && (bytes[end - 1] == ' ' || bytes[end - 1] == '\t'))
        --end;
    return bytes.sliced(begin, end - begin);
}

} // namespace

// --- AIRequestAttempt ---

AIRequestAttempt::AIRequestAttempt(QNetworkAccessManager *session, const AIHttpRequest &request,
                                   ResponseStartHandler onResponseStart, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_request(request)
    , m_onResponseStart(std::move(onResponseStart))
{
}

AIRequestAttempt::~AIRequestAttempt()
{
    releaseReply(Release::abort);
}

void AIRequestAttempt::start(CompletionHandler onComplete)
{
    m_onComplete = std::move(onComplete);
    send(m_session);
}

void AIRequestAttempt::send(QNetworkAccessManager *session)
{
    m_openedConnection = false;
    m_responseArrived = false;
    // The body goes out once: see SinglePassRequestBody. Qt streams it from
    // the device, unbuffered, because its length is given.
    auto *body = new SinglePassRequestBody(m_request.body);
    QNetworkRequest request = m_request.request;
    request.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
    request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    request.setAttribute(QNetworkRequest::ConnectionCacheExpiryTimeoutSecondsAttribute,
                         keptConnectionLifetimeSeconds);
    m_reply = session->sendCustomRequest(request, m_request.method, body);
    body->setParent(m_reply);
    if (const qint64 limit = readAheadLimit()) {
        // Qt hands the limit to its network thread only once the transfer has
        // started, which for a request with a body happens in the next pass of
        // the event loop: set it now and again right after that.
        m_reply->setReadBufferSize(limit);
        QMetaObject::invokeMethod(
            this,
            [this, limit] {
                if (m_reply)
                    m_reply->setReadBufferSize(limit);
            },
            Qt::QueuedConnection);
    }
    connect(m_reply, &QNetworkReply::socketStartedConnecting, this,
            [this] { m_openedConnection = true; });
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] {
        m_responseArrived = true;
        if (!m_done)
            responseHeadArrived();
    });
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        m_responseArrived = true;
        if (!m_done)
            bytesArrived(m_reply->readAll());
    });
    connect(m_reply, &QNetworkReply::finished, this, [this] {
        if (m_done)
            return;
        if (wasDroppedOnKeptConnection())
            return resendOnFreshConnection();
        const QPointer<AIRequestAttempt> self(this);
        const QByteArray rest = m_reply->isOpen() ? m_reply->readAll() : QByteArray();
        if (!rest.isEmpty())
            bytesArrived(rest);
        if (self && !m_done)
            transferFinished();
    });
}

// Servers close kept connections when they have idled a while, and after a
// suspend every kept connection is dead; a request that goes out on one just
// then meets the close before any answer. Qt would send it again but cannot
// (see SinglePassRequestBody). A connection Qt opened for this very transfer
// is not that case: the server had the request and dropped it, and may have
// acted on it, so that failure stands.
bool AIRequestAttempt::wasDroppedOnKeptConnection() const
{
    if (m_resent || m_openedConnection || m_responseArrived || httpStatus())
        return false;
    const QNetworkReply::NetworkError code = m_reply->error();
    return code == QNetworkReply::ContentReSendError ||
           code == QNetworkReply::RemoteHostClosedError;
}

// Sent again, once, through a session of its own: the shared one may hold
// more dead connections to the same server.
void AIRequestAttempt::resendOnFreshConnection()
{
    m_resent = true;
    qCInfo(lcAi).noquote() << QStringLiteral(
        "LLM request resent on a new connection: the server had closed the kept "
        "one before answering.");
    releaseReply(Release::abort);
    auto *fresh = new QNetworkAccessManager(m_session);
    fresh->setTransferTimeout(m_session->transferTimeout());
    fresh->setRedirectPolicy(m_session->redirectPolicy());
    fresh->setProxy(m_session->proxy());
    send(fresh);
    // The session goes with its only transfer.
    connect(m_reply, &QObject::destroyed, fresh, &QObject::deleteLater);
}

void AIRequestAttempt::abort()
{
    if (m_done)
        return;
    m_done = true;
    m_onComplete = nullptr;
    releaseReply(Release::abort);
}

std::optional<int> AIRequestAttempt::httpStatus() const
{
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

std::optional<AIClientError> AIRequestAttempt::transportFailure() const
{
    QNetworkReply::NetworkError code = m_reply->error();
    // Qt reports a proxy that refuses the tunnel (403 and the like) as an
    // unknown error.
    if (code == QNetworkReply::UnknownNetworkError && !httpStatus() &&
        NetworkProxies::describeRoute(m_reply->url()) != QLatin1String("direct"))
        code = QNetworkReply::ProxyConnectionRefusedError;
    if (code == QNetworkReply::NoError)
        return std::nullopt;
    // Qt also reports an HTTP error status as an error of its own; then the
    // status tells what happened. Connection failures (below 100) and a broken
    // protocol are transport failures whatever the status.
    const std::optional<int> status = httpStatus();
    const bool transport = code < 100 || code == QNetworkReply::ProtocolUnknownError ||
                           code == QNetworkReply::ProtocolFailure;
    if (status && *status >= 400 && !transport)
        return std::nullopt;
    // The transfer time-out of a request (an idle time-out) aborts it with
    // OperationCanceledError; this attempt's own aborts are never reported.
    if (code == QNetworkReply::OperationCanceledError || code == QNetworkReply::TimeoutError)
        return AIClientError::timedOut();
    return AIClientError::network(code, networkErrorText(m_reply, code));
}

bool AIRequestAttempt::responseStarted()
{
    return m_onResponseStart ? m_onResponseStart() : true;
}

void AIRequestAttempt::succeed(const QString &text)
{
    complete({text, std::nullopt}, Release::drain);
}

void AIRequestAttempt::fail(const AIClientError &error, Release release)
{
    complete({std::nullopt, error}, release);
}

void AIRequestAttempt::complete(const Outcome &outcome, Release release)
{
    if (m_done)
        return;
    m_done = true;
    releaseReply(release);
    // The handler may end this attempt's owner: it is the last thing done.
    const CompletionHandler handler = std::exchange(m_onComplete, nullptr);
    if (handler)
        handler(outcome);
}

void AIRequestAttempt::releaseReply(Release release)
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    reply->disconnect(this);
    if (reply->isFinished()) {
        reply->deleteLater();
        return;
    }
    if (release == Release::drain) {
        reply->setParent(reply->manager());
        connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        connect(reply, &QNetworkReply::readyRead, reply,
                [reply] { reply->skip(reply->bytesAvailable()); });
        QTimer::singleShot(drainLimitMilliseconds, reply, &QNetworkReply::abort);
        return;
    }
    // Not deleted at once: this may run inside one of the reply's own signals.
    reply->abort();
    reply->deleteLater();
}

// --- AIWholeResponseAttempt ---

AIWholeResponseAttempt::AIWholeResponseAttempt(QNetworkAccessManager *session,
                                               const AIHttpRequest &request,
                                               ResponseStartHandler onResponseStart,
                                               AIDecodeFunction decode, QObject *parent)
    : AIRequestAttempt(session, request, std::move(onResponseStart), parent)
    , m_decode(std::move(decode))
{
}

// What the network thread reads ahead counts towards the body's bound only
// once it is handed on: without a limit it could pile up well beyond it
// while the main thread is busy.
qint64 AIWholeResponseAttempt::readAheadLimit() const
{
    return 1024 * 1024;
}

void AIWholeResponseAttempt::bytesArrived(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    if (!m_startReported) {
        m_startReported = true;
        responseStarted();
    }
    if (m_body.size() + bytes.size() > maximumBodyBytes)
        return fail(AIClientError::decodingFailed(QStringLiteral("The reply is larger than %1 MiB.")
                                                      .arg(maximumBodyBytes / (1024 * 1024))));
    m_body.append(bytes);
}

void AIWholeResponseAttempt::transferFinished()
{
    if (const auto failure = transportFailure())
        return fail(*failure);
    const std::optional<int> status = httpStatus();
    if (!status)
        return fail(AIClientError::invalidResponse());
    if (!isSuccessStatus(*status))
        return fail(
            AIClientError::requestFailed(*status, AIRequestSupport::parseErrorMessage(m_body)));

    const AIDecodeResult decoded = m_decode(m_body);
    switch (decoded.outcome) {
    case AIDecodeResult::Outcome::text:
        return succeed(decoded.text.trimmed());
    case AIDecodeResult::Outcome::undecodable:
        return fail(AIClientError::decodingFailed(AIRequestSupport::parseErrorMessage(m_body)));
    case AIDecodeResult::Outcome::failure:
        return fail(decoded.error.value_or(AIClientError::invalidResponse()));
    }
}

// --- AIStreamingResponseAttempt ---

AIStreamingResponseAttempt::AIStreamingResponseAttempt(QNetworkAccessManager *session,
                                                       const AIHttpRequest &request,
                                                       ResponseStartHandler onResponseStart,
                                                       AIPartialResponseHandler onPartialResponse,
                                                       AIDecodeChunkFunction decodeChunk,
                                                       QObject *parent)
    : AIRequestAttempt(session, request, std::move(onResponseStart), parent)
    , m_onPartialResponse(std::move(onPartialResponse))
    , m_decodeChunk(std::move(decodeChunk))
    , m_lineHandler([this](QByteArrayView line) { return handleLine(line); })
{
}

// A fast server's stream would otherwise pile up in memory while the lines
// are decoded, and Qt would hand none of it on while more keeps arriving, so
// the first text would show late.
qint64 AIStreamingResponseAttempt::readAheadLimit() const
{
    return 64 * 1024;
}

void AIStreamingResponseAttempt::responseHeadArrived()
{
    rejectErrorStatus();
}

void AIStreamingResponseAttempt::bytesArrived(const QByteArray &bytes)
{
    if (m_lines.feed(bytes, m_lineHandler) && m_lines.unfinishedLineSize() > maximumEventLineBytes)
        streamBroke(AIClientError::decodingFailed(
            QStringLiteral("A line of the event stream is longer than %1 MiB.")
                .arg(maximumEventLineBytes / (1024 * 1024))));
}

void AIStreamingResponseAttempt::transferFinished()
{
    if (const auto failure = transportFailure())
        return streamBroke(*failure);
    if (!httpStatus())
        return fail(AIClientError::invalidResponse());
    if (rejectErrorStatus())
        return;
    if (!m_lines.finish(m_lineHandler))
        return;
    if (request().streamEndsWithEvent && !m_sawEndEvent && isCloseDelimited())
        return streamBroke(AIClientError::network(
            QNetworkReply::RemoteHostClosedError,
            QStringLiteral("The connection closed before the stream's end event.")));
    endOfStream();
}

// A body without a length or chunked framing ends when the server closes the
// connection, which is also what a failure in the middle looks like.
bool AIStreamingResponseAttempt::isCloseDelimited() const
{
    if (m_reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool())
        return false;
    return !m_reply->hasRawHeader("Content-Length") &&
           !m_reply->rawHeader("Transfer-Encoding").toLower().contains("chunked");
}

// An error status fails the stream at once; its body is not read.
bool AIStreamingResponseAttempt::rejectErrorStatus()
{
    const std::optional<int> status = httpStatus();
    if (!status || isSuccessStatus(*status) ||
        (isRedirectStatus(*status) && !m_reply->isFinished()))
        return false;
    // An error body is short; letting it arrive unread keeps the connection.
    fail(AIClientError::requestFailed(*status), Release::drain);
    return true;
}

bool AIStreamingResponseAttempt::handleLine(QByteArrayView line)
{
    if (!m_sawFirstLine) {
        m_sawFirstLine = true;
        m_emit = responseStarted();
    }
    if (!line.startsWith("data:"))
        return true; // event names, comments, blank separators
    const QByteArrayView payload = trimmedSpacesAndTabs(line.sliced(5));
    if (payload.isEmpty())
        return true;
    return handlePayload(payload);
}

bool AIStreamingResponseAttempt::handlePayload(QByteArrayView payload)
{
    if (payload == "[DONE]") {
        endOfStream();
        return false;
    }
    const AIDecodeResult piece = m_decodeChunk(payload);
    m_sawEndEvent = m_sawEndEvent || piece.endsStream;
    switch (piece.outcome) {
    case AIDecodeResult::Outcome::failure:
        fail(piece.error.value_or(AIClientError::invalidResponse()));
        return false;
    case AIDecodeResult::Outcome::undecodable:
        return true;
    case AIDecodeResult::Outcome::text:
        break;
    }
    if (piece.text.isEmpty())
        return true;
    m_text.append(piece.text);
    if (!m_emit || !m_onPartialResponse)
        return true;
    const QPointer<AIStreamingResponseAttempt> self(this);
    m_onPartialResponse(m_text);
    return self && !isDone(); // the caller may have cancelled meanwhile
}

void AIStreamingResponseAttempt::endOfStream()
{
    const QString text = m_text.trimmed();
    if (text.isEmpty())
        return fail(AIClientError::emptyResponse());
    succeed(text);
}

// A stream that breaks after its text was shown is not a complete reply: the
// caller gets the text with the failure, so it can keep it on screen as
// incomplete. An attempt that showed nothing passes the failure on as it is.
void AIStreamingResponseAttempt::streamBroke(const AIClientError &cause)
{
    const QString text = m_text.trimmed();
    if (m_emit && !text.isEmpty())
        return fail(AIClientError::streamInterrupted(text, cause));
    fail(cause);
}
