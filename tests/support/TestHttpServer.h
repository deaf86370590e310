#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QUrl>
#include <functional>
#include <utility>

class QSslConfiguration;
class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 (ephemeral port) for integration tests.
//
// It records every request and answers from scripted responses routed by
// method and path: each route has a queue (used first, one response per
// request) and an optional default (used when the queue is empty). Requests
// without a route get 404. A response can be sent whole, streamed in pieces
// with delays between them (so a test can split a CR from its LF or a UTF-8
// character across network reads), stall, or end with a close or reset in the
// middle of the body.
//
//   TestHttpServer server;
//   server.enqueue("POST", "/v1/chat/completions",
//                  TestHttpServer::Response::eventStream({
//                      TestHttpServer::sseData(R"({"choices":[{"delta":{"content":"Hi"}}]})"),
//                      TestHttpServer::sseData("[DONE]")}));
//   ... send to server.url("/v1/chat/completions") ...
//   QVERIFY(server.waitForRequests(1));
//   QCOMPARE(server.requests().first().header("Authorization"), "Bearer k");
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    using Header = std::pair<QByteArray, QByteArray>;

    struct RecordedRequest
    {
        QByteArray method;
        // The path without the query, percent-encoded as sent.
        QByteArray path;
        // The request target exactly as sent (path and query).
        QByteArray target;
        // Query items, fully decoded, in order.
        QList<std::pair<QString, QString>> queryItems;
        // Headers in order, names in their original case.
        QList<Header> headers;
        QByteArray body;
        // Serial number of the TCP connection the request came on (from 1).
        int connection = 0;

        // The first header of that name (case-insensitive); empty when absent.
        QByteArray header(const QByteArray &name) const;
        bool hasHeader(const QByteArray &name) const;
        // The first query item of that name; empty when absent.
        QString queryItem(const QString &name) const;
        // The body parsed as a JSON object (empty when it is not one).
        QJsonObject jsonBody() const;
    };

    // One scripted answer.
    struct Response
    {
        enum class Framing {
            contentLength, // Content-Length of all pieces
            chunked,       // Transfer-Encoding: chunked, one HTTP chunk per piece
            untilClose,    // no length; the body ends when the server closes
        };
        enum class Ending {
            complete, // the body is finished properly
            stall,    // nothing more is sent; the connection stays open
            close,    // the server closes the connection (FIN) after the last piece
            reset,    // the server resets the connection (RST) after the last piece
        };
        // An empty piece writes nothing: it is a pause (e.g. before a close).
        struct Piece
        {
            QByteArray bytes;
            // Wait before writing this piece; `held`: until releaseHeld().
            int delayMs = 0;
        };
        static constexpr int held = -1;

        int status = 200;
        QList<Header> headers;
        QList<Piece> pieces;
        Framing framing = Framing::contentLength;
        Ending ending = Ending::complete;
        // Wait before the status line; negative: never answer at all.
        int headDelayMs = 0;
        bool hangsUp = false;

        // A whole body with Content-Length.
        static Response body(int status, const QByteArray &bytes,
                             const QByteArray &contentType = "application/json");
        static Response json(int status, const QJsonObject &object);
        // A text/event-stream sent in the given pieces, chunked, with
        // `delayMs` before every piece after the first.
        static Response eventStream(const QList<QByteArray> &pieces, int delayMs = 0);
        // Accepts the request and never answers.
        static Response silence();
        // Closes the connection as soon as the request is read, answering
        // nothing, as a server does with a kept connection it has dropped.
        static Response hangUp();

        // Splits every piece further at the given byte offsets of the whole
        // body (e.g. between a CR and its LF); new pieces wait `delayMs`.
        Response &splitAt(const QList<qsizetype> &offsets, int delayMs = 30);
        Response &withHeader(const QByteArray &name, const QByteArray &value);
        Response &withFraming(Framing value);
        Response &withEnding(Ending value);
        Response &withHeadDelay(int milliseconds);

        QByteArray wholeBody() const;
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    // Serves HTTPS with `tls` (its certificate and key) and calls itself
    // `hostName` in url(); it still listens on 127.0.0.1 only.
    TestHttpServer(const QSslConfiguration &tls, const QString &hostName,
                   QObject *parent = nullptr);
    ~TestHttpServer() override;

    quint16 port() const;
    // http://127.0.0.1:<port><pathAndQuery> (https://<host name>:... for HTTPS)
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    // Routes: `method` may be "*" for any method; the path excludes the query.
    void enqueue(const QByteArray &method, const QByteArray &path, const Response &response);
    void setDefault(const QByteArray &method, const QByteArray &path, const Response &response);

    const QList<RecordedRequest> &requests() const { return m_requests; }
    qsizetype requestCount() const { return m_requests.size(); }
    // Lets every response go on past its held piece.
    void releaseHeld();
    // Requests to one path, in arrival order.
    QList<RecordedRequest> requestsTo(const QByteArray &path) const;

    // Connections the client closed or reset (not the ones the server ended).
    int clientClosedConnections() const { return m_clientClosedConnections; }
    int openConnections() const;
    // Connections accepted so far.
    int acceptedConnections() const { return m_connectionCount; }

    // Run the event loop until the condition holds or the time is up.
    bool waitForRequests(qsizetype count, int timeoutMs = 5000);
    bool waitForClientClosedConnections(int count, int timeoutMs = 5000);

    // Runs a real event loop (no sleeping between checks, unlike QTRY_* and
    // QTest::qWaitFor) until `condition` holds; false when the time is up.
    // Prefer it when the test depends on the client seeing separate network
    // reads: while the main thread sleeps, Qt merges pending reads into one.
    static bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);

    // "data: <payload>\n\n"
    static QByteArray sseData(const QByteArray &payload);
    static QByteArray sseData(const QJsonObject &payload);
    // "event: <name>\ndata: <payload>\n\n"
    static QByteArray sseEvent(const QByteArray &name, const QByteArray &payload);

Q_SIGNALS:
    void requestReceived(int index);
    void heldReleased();

private:
    class Connection;
    friend class Connection;

    void acceptConnections();
    Response responseFor(const RecordedRequest &request);
    void record(RecordedRequest request);

    void listen();

    QTcpServer *m_server;
    QString m_origin = QStringLiteral("http://127.0.0.1");
    QHash<QByteArray, QQueue<Response>> m_queues;
    QHash<QByteArray, Response> m_defaults;
    QList<RecordedRequest> m_requests;
    QList<Connection *> m_connections;
    int m_connectionCount = 0;
    int m_clientClosedConnections = 0;
};
