#include "core/auth/OpenAIProPlusCallbackServer.h"

#include "core/support/Utf8.h"

#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

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
// it, sends the page and closes. Parentless, so an answer being sent survives
// the server that produced it; it deletes itself when done.
class OpenAIProPlusCallbackServer::Connection : public QObject
{
public:
    Connection(OpenAIProPlusCallbackServer *server, QTcpSocket *socket)
        : m_server(server)
        , m_socket(socket)
    {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, &Connection::read);
        connect(socket, &QTcpSocket::disconnected, this, &Connection::peerClosed);
        connect(socket, &QTcpSocket::errorOccurred, this, &Connection::failed);
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
        m_buffer.append(m_socket->readAll());
        const qsizetype headEnd = m_buffer.indexOf("\r\n\r\n");
        if (headEnd >= 0 && headEnd + 4 <= maximumRequestHeadBytes)
            answer(m_buffer.left(headEnd + 4));
        else if (headEnd >= 0 || m_buffer.size() > maximumRequestHeadBytes)
            answer({});
    }

    // The peer closed its side: what it sent is the whole request. A
    // connection that sent nothing (a browser's speculative preconnect) is
    // not a request at all.
    void peerClosed()
    {
        if (!m_answered && !m_buffer.isEmpty())
            answer(m_buffer);
        deleteLater();
    }

    void failed(QAbstractSocket::SocketError error)
    {
        if (error == QAbstractSocket::RemoteHostClosedError || m_answered)
            return;
        if (!m_buffer.isEmpty() && m_server)
            m_server->finish(OpenAIProPlusAuthError::network(error, m_socket->errorString()));
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
        const Page page = head.isEmpty()
                              ? Page{400, failurePage(QStringLiteral("Invalid callback request.")),
                                     OpenAIProPlusAuthError::invalidCallback()}
                              : m_server->processRequest(head);
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
    : QObject(parent)
    , m_port(port)
    , m_expectedState(std::move(expectedState))
    , m_timeout(new QTimer(this))
{
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this,
            [this] { finish(OpenAIProPlusAuthError::callbackTimeout()); });
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
    connect(server, &QTcpServer::newConnection, this,
            [this, server] { acceptConnections(server); });
    m_listeners.append(server);
    return true;
}

void OpenAIProPlusCallbackServer::acceptConnections(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection())
        m_connections.append(new Connection(this, socket));
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

OpenAIProPlusCallbackServer::Page
OpenAIProPlusCallbackServer::processRequest(const QByteArray &head) const
{
    const auto invalidRequest = [] {
        return Page{400, failurePage(QStringLiteral("Invalid callback request.")),
                    OpenAIProPlusAuthError::invalidCallback()};
    };
    const auto text = decodeUtf8Strictly(head);
    if (!text)
        return invalidRequest();
    const QStringList requestLine =
        text->section(QStringLiteral("\r\n"), 0, 0).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (requestLine.size() < 2)
        return invalidRequest();

    const QUrl url(QStringLiteral("http://localhost:%1").arg(m_port) + requestLine.at(1),
                   QUrl::StrictMode);
    if (!url.isValid())
        return {400, failurePage(QStringLiteral("Invalid callback URL.")),
                OpenAIProPlusAuthError::invalidCallback()};
    if (url.path(QUrl::FullyDecoded) != callbackPath)
        return {404, failurePage(QStringLiteral("Not found.")), std::nullopt};

    // A name given twice keeps its first value.
    QHash<QString, QString> query;
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (!query.contains(name))
            query.insert(name, value);
    }
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
    const QString state = query.value(QStringLiteral("state"));
    if (state.isEmpty())
        return fail(QStringLiteral("Missing state value."), OpenAIProPlusAuthError::invalidState());
    if (state != m_expectedState)
        return fail(QStringLiteral("Invalid state value."), OpenAIProPlusAuthError::invalidState());
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
