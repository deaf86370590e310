#include "core/auth/OpenAIProPlusCallbackServer.h"

#include "core/support/Utf8.h"

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

namespace {

const QString callbackPath = QStringLiteral("/auth/callback");
// How long an answered connection may take to send its page before it is dropped.
constexpr int answerGraceMilliseconds = 5000;

QString page(const QString &title, const QString &headingStyle, const QString &heading,
             const QString &paragraph, const QString &extra)
{
    return QStringLiteral(
               "<!doctype html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
               "<style>\n"
               "body { font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
               "background: #131010; color: #f1ecec; display: flex; justify-content: center; "
               "align-items: center; height: 100vh; margin: 0; }\n"
               ".container { text-align: center; padding: 32px; }\n"
               "h1 { margin: 0 0 12px;%2 }\n"
               "p { margin: 0; color: #b7b1b1; }\n"
               "</style>\n</head>\n<body>\n<div class=\"container\">\n<h1>%3</h1>\n<p>%4</p>\n"
               "</div>\n%5</body>\n</html>\n")
        .arg(title, headingStyle, heading, paragraph, extra);
}

QString successPage()
{
    return page(QStringLiteral("Wrenlark Authorization Successful"), QString(),
                QStringLiteral("Authorization Successful"),
                QStringLiteral("You can close this tab and return to Wrenlark."),
                QStringLiteral("<script>setTimeout(() => window.close(), 1500)</script>\n"));
}

// The message may come from the redirect's query: it is escaped, never markup.
QString failurePage(const QString &message)
{
    return page(QStringLiteral("Wrenlark Authorization Failed"), QStringLiteral(" color: #fc533a;"),
                QStringLiteral("Authorization Failed"), message.toHtmlEscaped(), QString());
}

QByteArray httpResponse(int statusCode, const QString &html)
{
    const QByteArray body = html.toUtf8();
    const char *reason = statusCode == 200   ? "OK"
                         : statusCode == 404 ? "Not Found"
                         : statusCode == 400 ? "Bad Request"
                                             : "Error";
    return "HTTP/1.1 " + QByteArray::number(statusCode) + ' ' + reason + "\r\n" +
           "Content-Type: text/html; charset=utf-8\r\n" +
           "Content-Length: " + QByteArray::number(body.size()) + "\r\n" +
           "Connection: close\r\n\r\n" + body;
}

} // namespace

// One accepted connection: collects the request head, has the server answer
// it, sends the page and closes. Only a head ended by its blank line is a
// request: a connection that closes, fails or stays silent before that is
// dropped unanswered. Parentless, so an answer being sent survives the server
// that produced it; it deletes itself when done.
class OpenAIProPlusCallbackServer::Connection : public QObject
{
public:
    Connection(OpenAIProPlusCallbackServer *server, QTcpSocket *socket, int headTimeoutMilliseconds)
        : m_server(server)
        , m_socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::read);
        connect(socket, &QTcpSocket::disconnected, this, &Connection::peerClosed);
        connect(socket, &QTcpSocket::errorOccurred, this, &Connection::failed);
        auto *headTimer = new QTimer(this);
        headTimer->setSingleShot(true);
        connect(headTimer, &QTimer::timeout, this, [this] {
            if (!m_answered)
                drop();
        });
        headTimer->start(headTimeoutMilliseconds);
        // A connection that waited in the listener's queue may have sent
        // its request (or closed) already, with nobody listening.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_socket->bytesAvailable() > 0)
                    read();
                if (!m_answered && m_socket->state() != QAbstractSocket::ConnectedState)
                    peerClosed();
            },
            Qt::QueuedConnection);
    }

    bool isAnswering() const { return m_answered; }

    void drop()
    {
        m_socket->abort();
        deleteLater();
    }

private:
    void read()
    {
        if (m_answered)
            return;
        m_buffer.append(m_socket->read(maximumRequestHeadBytes + 1 - m_buffer.size()));
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd >= 0 && headEnd + 4 <= maximumRequestHeadBytes)
            answer(m_buffer.left(headEnd + 4));
        else if (m_buffer.size() > maximumRequestHeadBytes)
            answer({});
    }

    // What came before the peer closed is no request (a browser's
    // speculative preconnect sends nothing; a head cut short is not one).
    void peerClosed() { deleteLater(); }

    void failed(QAbstractSocket::SocketError error)
    {
        if (error == QAbstractSocket::RemoteHostClosedError || m_answered)
            return;
        drop();
    }

    // An empty `head` is one that grew past the size limit.
    void answer(const QByteArray &head)
    {
        m_answered = true;
        if (!m_server) {
            drop();
            return;
        }
        const Page page =
            head.isEmpty()
                ? Page{400, failurePage(QStringLiteral("Invalid callback request.")), std::nullopt}
                : m_server->answer(head);
        if (m_socket->state() == QAbstractSocket::ConnectedState) {
            m_socket->write(httpResponse(page.statusCode, page.html));
            m_socket->disconnectFromHost();
            QTimer::singleShot(answerGraceMilliseconds, this, &Connection::drop);
        }
        if (page.outcome)
            m_server->finish(*page.outcome);
    }

    QPointer<OpenAIProPlusCallbackServer> m_server;
    QTcpSocket *m_socket;
    QByteArray m_buffer;
    bool m_answered = false;
};

OpenAIProPlusCallbackServer::OpenAIProPlusCallbackServer(quint16 port, QString expectedState,
                                                         QObject *parent)
    : OpenAIProPlusCallbackServer(port, std::move(expectedState), Limits(), parent)
{
}

OpenAIProPlusCallbackServer::OpenAIProPlusCallbackServer(quint16 port, QString expectedState,
                                                         Limits limits, QObject *parent)
    : QObject(parent)
    , m_port(port)
    , m_expectedState(std::move(expectedState))
    , m_limits(limits)
    , m_timeout(new QTimer(this))
    , m_acceptRetry(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this,
            [this] { finish(OpenAIProPlusAuthError::callbackTimeout()); });
    m_acceptRetry->setSingleShot(true);
    connect(m_acceptRetry, &QTimer::timeout, this, [this] {
        for (QTcpServer *server : std::as_const(m_listeners))
            server->resumeAccepting();
        acceptConnections();
    });
}

OpenAIProPlusCallbackServer::~OpenAIProPlusCallbackServer()
{
    stop();
}

std::optional<OpenAIProPlusAuthError> OpenAIProPlusCallbackServer::start()
{
    OpenAIProPlusAuthError error = OpenAIProPlusAuthError::invalidCallback();
    if (!listenOn(QHostAddress(QHostAddress::LocalHost), &error))
        return error;
    m_port = m_listeners.first()->serverPort();
    // Another program on ::1 with this port would receive the browser's
    // redirect: that counts as a taken port. No IPv6 at all is fine.
    if (!listenOn(QHostAddress(QHostAddress::LocalHostIPv6), &error) && error.isAddressInUse()) {
        stop();
        return error;
    }
    return std::nullopt;
}

bool OpenAIProPlusCallbackServer::listenOn(const QHostAddress &address,
                                           OpenAIProPlusAuthError *error)
{
    auto *server = new QTcpServer(this);
    if (!server->listen(address, m_port)) {
        *error = OpenAIProPlusAuthError::listenFailed(server->serverError(), server->errorString());
        delete server;
        return false;
    }
    // Beyond this many accepted and waiting connections the listener leaves
    // further ones in the system's queue instead of taking them.
    server->setMaxPendingConnections(m_limits.maximumConnections);
    connect(server, &QTcpServer::newConnection, this,
            &OpenAIProPlusCallbackServer::acceptConnections);
    connect(server, &QTcpServer::acceptError, this, &OpenAIProPlusCallbackServer::acceptFailed);
    m_listeners.append(server);
    return true;
}

void OpenAIProPlusCallbackServer::acceptConnections()
{
    for (QTcpServer *server : std::as_const(m_listeners)) {
        while (openConnectionCount() < m_limits.maximumConnections &&
               server->hasPendingConnections()) {
            auto *connection = new Connection(this, server->nextPendingConnection(),
                                              m_limits.headTimeoutMilliseconds);
            connect(connection, &QObject::destroyed, this,
                    &OpenAIProPlusCallbackServer::connectionEnded);
            m_connections.append(connection);
        }
    }
}

// Out of file descriptors: trying again at once would fail again at once, in
// a loop. The listeners rest until the retry (or a connection ending) frees
// something; pending connections stay queued by the system meanwhile.
void OpenAIProPlusCallbackServer::acceptFailed()
{
    for (QTcpServer *server : std::as_const(m_listeners))
        server->pauseAccepting();
    if (!m_acceptRetry->isActive())
        m_acceptRetry->start(m_limits.acceptRetryMilliseconds);
}

void OpenAIProPlusCallbackServer::connectionEnded()
{
    m_connections.removeIf([](const QPointer<Connection> &connection) { return !connection; });
    acceptConnections();
}

int OpenAIProPlusCallbackServer::openConnectionCount() const
{
    return int(
        std::count_if(m_connections.cbegin(), m_connections.cend(),
                      [](const QPointer<Connection> &connection) { return !connection.isNull(); }));
}

void OpenAIProPlusCallbackServer::waitForCode(double timeoutSeconds)
{
    m_waiting = true;
    if (m_outcome) {
        QTimer::singleShot(0, this, &OpenAIProPlusCallbackServer::emitFinished);
        return;
    }
    m_timeout->start(int(qBound(0.0, timeoutSeconds * 1000, double(INT_MAX))));
}

void OpenAIProPlusCallbackServer::stop()
{
    closeListeners();
    for (const QPointer<Connection> &connection : std::as_const(m_connections)) {
        if (connection && !connection->isAnswering())
            connection->drop();
    }
    m_connections.clear();
}

void OpenAIProPlusCallbackServer::closeListeners()
{
    m_acceptRetry->stop();
    for (QTcpServer *server : std::as_const(m_listeners)) {
        server->close();
        server->deleteLater();
    }
    m_listeners.clear();
}

QList<QHostAddress> OpenAIProPlusCallbackServer::listeningAddresses() const
{
    QList<QHostAddress> addresses;
    for (const QTcpServer *server : m_listeners)
        addresses.append(server->serverAddress());
    return addresses;
}

OpenAIProPlusCallbackServer::Page OpenAIProPlusCallbackServer::answer(const QByteArray &head) const
{
    const auto refuse = [](const QString &message) {
        return Page{400, failurePage(message), std::nullopt};
    };
    const auto text = decodeUtf8Strictly(head);
    if (!text)
        return refuse(QStringLiteral("Invalid callback request."));
    const QStringList requestLine =
        text->section(QStringLiteral("\r\n"), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (requestLine.size() < 2)
        return refuse(QStringLiteral("Invalid callback request."));

    const QUrl url(QStringLiteral("http://localhost:%1").arg(m_port) + requestLine.at(1),
                   QUrl::StrictMode);
    if (!url.isValid())
        return refuse(QStringLiteral("Invalid callback URL."));
    if (url.path(QUrl::FullyDecoded) != callbackPath)
        return {404, failurePage(QStringLiteral("Not found.")), std::nullopt};

    // A name given twice keeps its first value.
    QHash<QString, QString> query;
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (!query.contains(name))
            query.insert(name, value);
    }
    // Only the authority knows the state: anything without it is answered
    // and changes nothing.
    const QString state = query.value(QStringLiteral("state"));
    if (state.isEmpty())
        return refuse(QStringLiteral("Missing state value."));
    if (state != m_expectedState)
        return refuse(QStringLiteral("Invalid state value."));

    const auto fail = [](const QString &message, const OpenAIProPlusAuthError &error) {
        return Page{400, failurePage(message), error};
    };
    if (query.contains(QStringLiteral("error"))) {
        const QString error = query.value(QStringLiteral("error"));
        const QString description = query.value(QStringLiteral("error_description"));
        const QString message = description.isEmpty() ? error : description;
        return fail(message, error == QLatin1String("access_denied")
                                 ? OpenAIProPlusAuthError::loginCanceled()
                                 : OpenAIProPlusAuthError::authority(message));
    }
    const QString code = query.value(QStringLiteral("code"));
    if (code.isEmpty())
        return fail(QStringLiteral("Missing authorization code."),
                    OpenAIProPlusAuthError::missingAuthorizationCode());
    return {200, successPage(), Outcome(code)};
}

void OpenAIProPlusCallbackServer::finish(const Outcome &outcome)
{
    if (m_didFinish)
        return;
    m_didFinish = true;
    m_outcome = outcome;
    m_timeout->stop();
    // Only the first outcome counts: stop accepting connections.
    closeListeners();
    if (m_waiting)
        emitFinished();
}

void OpenAIProPlusCallbackServer::emitFinished()
{
    Q_EMIT finished();
}
