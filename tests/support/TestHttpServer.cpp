#include "support/TestHttpServer.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <algorithm>
#include <sys/socket.h>

namespace {

QByteArray routeKey(const QByteArray &method, const QByteArray &path)
{
    return method + ' ' + path;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

// One accepted TCP connection: reads requests one after another (keep-alive)
// and plays the scripted response of each.
class TestHttpServer::Connection : public QObject
{
public:
    Connection(TestHttpServer *server, QTcpSocket *socket, int serial)
        : QObject(server)
        , m_server(server)
        , m_socket(socket)
        , m_serial(serial)
    {
        socket->setParent(this);
        // Without this, Nagle's algorithm holds a small piece back until the
        // previous one is acknowledged and the client sees them merged.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::readRequests);
        connect(socket, &QTcpSocket::disconnected, this, &Connection::disconnected);
        connect(server, &TestHttpServer::heldReleased, this, [this] {
            if (std::exchange(m_held, false))
                writePiece();
        });
    }

    bool isOpen() const { return m_socket->state() == QAbstractSocket::ConnectedState; }

private:
    void readRequests()
    {
        m_buffer.append(m_socket->readAll());
        while (!m_responding) {
            TestHttpServer::RecordedRequest request;
            if (!takeRequest(request))
                return;
            m_responding = true;
            m_server->record(request);
            play(m_server->responseFor(request));
        }
    }

    // Takes one complete request off the buffer.
    bool takeRequest(TestHttpServer::RecordedRequest &request)
    {
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return false;
        const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() < 2)
            return false;
        request.method = requestLine.at(0);
        request.target = requestLine.at(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append(Header{line.left(colon), line.mid(colon + 1).trimmed()});
        }
        const qsizetype bodyStart = headEnd + 4;
        qsizetype consumed = 0;
        if (request.header("Transfer-Encoding").toLower() == "chunked") {
            if (!takeChunkedBody(bodyStart, request.body, consumed))
                return false;
        } else {
            const qsizetype length = request.header("Content-Length").toLongLong();
            if (m_buffer.size() - bodyStart < length)
                return false;
            request.body = m_buffer.mid(bodyStart, length);
            consumed = bodyStart + length;
        }
        m_buffer.remove(0, consumed);

        const qsizetype question = request.target.indexOf('?');
        request.path = question < 0 ? request.target : request.target.left(question);
        if (question >= 0) {
            const QUrlQuery query(QString::fromUtf8(request.target.mid(question + 1)));
            request.queryItems = query.queryItems(QUrl::FullyDecoded);
        }
        request.connection = m_serial;
        return true;
    }

    bool takeChunkedBody(qsizetype position, QByteArray &body, qsizetype &consumed) const
    {
        for (;;) {
            const qsizetype lineEnd = m_buffer.indexOf("\r\n", position);
            if (lineEnd < 0)
                return false;
            bool ok = false;
            const qsizetype size =
                m_buffer.mid(position, lineEnd - position).split(';').first().toLongLong(&ok, 16);
            if (!ok)
                return false;
            position = lineEnd + 2;
            if (size == 0) {
                const qsizetype trailerEnd = m_buffer.indexOf("\r\n", position);
                if (trailerEnd < 0)
                    return false;
                consumed = trailerEnd + 2;
                return true;
            }
            if (m_buffer.size() < position + size + 2)
                return false;
            body.append(m_buffer.mid(position, size));
            position += size + 2;
        }
    }

    void play(const Response &response)
    {
        m_response = response;
        m_nextPiece = 0;
        if (response.hangsUp)
            return closeByServer(false);
        if (response.headDelayMs < 0)
            return; // never answer
        QTimer::singleShot(response.headDelayMs, this, [this] { writeHead(); });
    }

    void writeHead()
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_response.status) + ' ' +
                          reasonPhrase(m_response.status) + "\r\n";
        for (const auto &[name, value] : m_response.headers)
            head += name + ": " + value + "\r\n";
        switch (m_response.framing) {
        case Response::Framing::contentLength:
            head += "Content-Length: " + QByteArray::number(m_response.wholeBody().size()) + "\r\n";
            break;
        case Response::Framing::chunked:
            head += "Transfer-Encoding: chunked\r\n";
            break;
        case Response::Framing::untilClose:
            head += "Connection: close\r\n";
            break;
        }
        head += "\r\n";
        m_socket->write(head);
        m_socket->flush();
        writeNextPiece();
    }

    void writeNextPiece()
    {
        if (m_nextPiece >= m_response.pieces.size()) {
            finishResponse();
            return;
        }
        const int delay = m_response.pieces.at(m_nextPiece).delayMs;
        if (delay == Response::held) {
            m_held = true;
            return;
        }
        QTimer::singleShot(delay, this, &Connection::writePiece);
    }

    void writePiece()
    {
        const QByteArray &bytes = m_response.pieces.at(m_nextPiece++).bytes;
        if (m_response.framing == Response::Framing::chunked) {
            if (!bytes.isEmpty())
                m_socket->write(QByteArray::number(bytes.size(), 16) + "\r\n" + bytes + "\r\n");
        } else {
            m_socket->write(bytes);
        }
        m_socket->flush();
        writeNextPiece();
    }

    void finishResponse()
    {
        switch (m_response.ending) {
        case Response::Ending::complete:
            if (m_response.framing == Response::Framing::chunked)
                m_socket->write("0\r\n\r\n");
            m_socket->flush();
            if (m_response.framing == Response::Framing::untilClose) {
                closeByServer(false);
                return;
            }
            m_responding = false;
            readRequests(); // a request that arrived meanwhile
            break;
        case Response::Ending::stall:
            break;
        case Response::Ending::close:
            closeByServer(false);
            break;
        case Response::Ending::reset:
            closeByServer(true);
            break;
        }
    }

    void closeByServer(bool reset)
    {
        m_closedByServer = true;
        if (reset) {
            // SO_LINGER with a zero time-out makes close() send RST instead of FIN.
            const linger option{1, 0};
            ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option,
                         sizeof option);
            m_socket->abort();
            disconnected();
        } else {
            m_socket->disconnectFromHost();
        }
    }

    void disconnected()
    {
        if (m_gone)
            return;
        m_gone = true;
        if (!m_closedByServer)
            ++m_server->m_clientClosedConnections;
        m_server->m_connections.removeOne(this);
        deleteLater();
    }

    TestHttpServer *m_server;
    QTcpSocket *m_socket;
    int m_serial;
    QByteArray m_buffer;
    bool m_responding = false;
    bool m_closedByServer = false;
    bool m_gone = false;
    Response m_response;
    qsizetype m_nextPiece = 0;
    bool m_held = false;
};

// --- RecordedRequest ---

QByteArray TestHttpServer::RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[headerName, value] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool TestHttpServer::RecordedRequest::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.begin(), headers.end(), [&name](const Header &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString TestHttpServer::RecordedRequest::queryItem(const QString &name) const
{
    for (const auto &[itemName, value] : queryItems) {
        if (itemName == name)
            return value;
    }
    return {};
}

QJsonObject TestHttpServer::RecordedRequest::jsonBody() const
{
    return QJsonDocument::fromJson(body).object();
}

// --- Response ---

TestHttpServer::Response TestHttpServer::Response::body(int status, const QByteArray &bytes,
                                                        const QByteArray &contentType)
{
    Response response;
    response.status = status;
    response.headers.append(Header{"Content-Type", contentType});
    response.pieces.append(Piece{bytes, 0});
    return response;
}

TestHttpServer::Response TestHttpServer::Response::json(int status, const QJsonObject &object)
{
    return body(status, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

TestHttpServer::Response TestHttpServer::Response::eventStream(const QList<QByteArray> &pieces,
                                                               int delayMs)
{
    Response response;
    response.headers.append(Header{"Content-Type", "text/event-stream"});
    response.headers.append(Header{"Cache-Control", "no-cache"});
    response.framing = Framing::chunked;
    for (const QByteArray &piece : pieces)
        response.pieces.append(Piece{piece, response.pieces.isEmpty() ? 0 : delayMs});
    return response;
}

TestHttpServer::Response TestHttpServer::Response::hangUp()
{
    Response response;
    response.hangsUp = true;
    return response;
}

TestHttpServer::Response TestHttpServer::Response::silence()
{
    Response response;
    response.headDelayMs = -1;
    return response;
}

TestHttpServer::Response &TestHttpServer::Response::splitAt(const QList<qsizetype> &offsets,
                                                            int delayMs)
{
    QList<Piece> split;
    qsizetype pieceStart = 0;
    for (const Piece &piece : std::as_const(pieces)) {
        const qsizetype pieceEnd = pieceStart + piece.bytes.size();
        qsizetype cut = pieceStart;
        int delay = piece.delayMs;
        for (const qsizetype offset : offsets) {
            if (offset <= cut || offset >= pieceEnd)
                continue;
            split.append(Piece{piece.bytes.mid(cut - pieceStart, offset - cut), delay});
            cut = offset;
            delay = delayMs;
        }
        split.append(Piece{piece.bytes.mid(cut - pieceStart), delay});
        pieceStart = pieceEnd;
    }
    pieces = split;
    return *this;
}

TestHttpServer::Response &TestHttpServer::Response::withHeader(const QByteArray &name,
                                                               const QByteArray &value)
{
    headers.append(Header{name, value});
    return *this;
}

TestHttpServer::Response &TestHttpServer::Response::withFraming(Framing value)
{
    framing = value;
    return *this;
}

TestHttpServer::Response &TestHttpServer::Response::withEnding(Ending value)
{
    ending = value;
    return *this;
}

TestHttpServer::Response &TestHttpServer::Response::withHeadDelay(int milliseconds)
{
    headDelayMs = milliseconds;
    return *this;
}

QByteArray TestHttpServer::Response::wholeBody() const
{
    QByteArray all;
    for (const Piece &piece : pieces)
        all += piece.bytes;
    return all;
}

// --- TestHttpServer ---

TestHttpServer::TestHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    listen();
}

TestHttpServer::TestHttpServer(const QSslConfiguration &tls, const QString &hostName,
                               QObject *parent)
    : QObject(parent)
    , m_origin(QStringLiteral("https://") + hostName)
{
    auto *server = new QSslServer(this);
    server->setSslConfiguration(tls);
    m_server = server;
    listen();
}

void TestHttpServer::listen()
{
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qFatal("TestHttpServer cannot listen on 127.0.0.1: %s",
               qPrintable(m_server->errorString()));
    // A TLS connection is pending once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this,
            &TestHttpServer::acceptConnections);
}

TestHttpServer::~TestHttpServer() = default;

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl TestHttpServer::url(const QString &pathAndQuery) const
{
    return QUrl(QStringLiteral("%1:%2%3").arg(m_origin).arg(port()).arg(pathAndQuery));
}

void TestHttpServer::enqueue(const QByteArray &method, const QByteArray &path,
                             const Response &response)
{
    m_queues[routeKey(method, path)].enqueue(response);
}

void TestHttpServer::setDefault(const QByteArray &method, const QByteArray &path,
                                const Response &response)
{
    m_defaults.insert(routeKey(method, path), response);
}

QList<TestHttpServer::RecordedRequest> TestHttpServer::requestsTo(const QByteArray &path) const
{
    QList<RecordedRequest> matching;
    for (const RecordedRequest &request : m_requests) {
        if (request.path == path)
            matching.append(request);
    }
    return matching;
}

int TestHttpServer::openConnections() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const Connection *connection) { return connection->isOpen(); }));
}

void TestHttpServer::releaseHeld()
{
    Q_EMIT heldReleased();
}

bool TestHttpServer::waitForRequests(qsizetype count, int timeoutMs)
{
    return waitUntil([&] { return m_requests.size() >= count; }, timeoutMs);
}

bool TestHttpServer::waitForClientClosedConnections(int count, int timeoutMs)
{
    return waitUntil([&] { return m_clientClosedConnections >= count; }, timeoutMs);
}

bool TestHttpServer::waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    check.start();
    loop.exec();
    return condition();
}

QByteArray TestHttpServer::sseData(const QByteArray &payload)
{
    return "data: " + payload + "\n\n";
}

QByteArray TestHttpServer::sseData(const QJsonObject &payload)
{
    return sseData(QJsonDocument(payload).toJson(QJsonDocument::Compact));
}

QByteArray TestHttpServer::sseEvent(const QByteArray &name, const QByteArray &payload)
{
    return "event: " + name + '\n' + sseData(payload);
}

void TestHttpServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection())
        m_connections.append(new Connection(this, socket, ++m_connectionCount));
}

TestHttpServer::Response TestHttpServer::responseFor(const RecordedRequest &request)
{
    for (const QByteArray &method : {request.method, QByteArray("*")}) {
        const QByteArray key = routeKey(method, request.path);
        auto queue = m_queues.find(key);
        if (queue != m_queues.end() && !queue->isEmpty())
            return queue->dequeue();
        const auto fallback = m_defaults.constFind(key);
        if (fallback != m_defaults.constEnd())
            return *fallback;
    }
    return Response::body(404, "no route for " + routeKey(request.method, request.path),
                          "text/plain");
}

void TestHttpServer::record(RecordedRequest request)
{
    m_requests.append(std::move(request));
    Q_EMIT requestReceived(int(m_requests.size() - 1));
}
