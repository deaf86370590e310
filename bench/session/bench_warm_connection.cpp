// Return → first reply text, with and without the connection the bar opens
// while the user types. A local HTTPS server answers every request with a
// short chat stream, behind a relay that holds every piece of data for a
// while in each direction, as a distant server's link does (the TCP
// handshake itself is not delayed: the relay accepts at once). Server and
// relay run on a thread of their own. Each round uses a new AI client, so
// nothing is kept from the round before. bench/session/warm-connection.sh
// makes a throw-away certificate and runs it.
//
//   bench_warm_connection --cert FILE --key FILE [--rounds N] [--typing-ms N]
//                         [--delay-ms N]

#include "core/ai/AIClient.h"
#include "core/support/FileLogger.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QByteArray stream = "data: {\"choices\":[{\"delta\":{\"content\":\"Hi\"}}]}\n\n"
                          "data: [DONE]\n\n";

// Answers each request on a connection in turn (keep-alive), once its body
// is in.
class StreamServer : public QObject
{
public:
    explicit StreamServer(const QSslConfiguration &tls)
    {
        m_server->setSslConfiguration(tls);
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection())
                serve(socket);
        });
    }

    quint16 listen()
    {
        m_server->listen(QHostAddress::Any);
        return m_server->serverPort();
    }

private:
    void serve(QTcpSocket *socket)
    {
        auto *buffer = new QByteArray;
        connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer] {
            buffer->append(socket->readAll());
            for (;;) {
                const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
                if (headEnd < 0)
                    return;
                const QByteArray head = buffer->left(headEnd).toLower();
                const qsizetype lengthAt = head.indexOf("content-length:");
                const qsizetype length =
                    lengthAt < 0
                        ? 0
                        : head.mid(lengthAt + 15, head.indexOf('\r', lengthAt) - lengthAt - 15)
                              .trimmed()
                              .toLongLong();
                if (buffer->size() < headEnd + 4 + length)
                    return;
                buffer->remove(0, headEnd + 4 + length);
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                              "Content-Length: " +
                              QByteArray::number(stream.size()) + "\r\n\r\n" + stream);
            }
        });
    }

    QSslServer *m_server = new QSslServer(this);
};

// Forwards each connection to the server, every piece `delayMs` late.
class DelayRelay : public QObject
{
public:
    DelayRelay(quint16 serverPort, int delayMs)
        : m_serverPort(serverPort)
        , m_delayMs(delayMs)
    {
        connect(m_listener, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = m_listener->nextPendingConnection())
                relay(client);
        });
    }

    quint16 listen()
    {
        m_listener->listen(QHostAddress::Any);
        return m_listener->serverPort();
    }

private:
    void relay(QTcpSocket *client)
    {
        auto *server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        forward(client, server);
        forward(server, client);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

    // Timers of one interval fire in the order they were started, so the
    // bytes keep their order.
    void forward(QTcpSocket *from, QTcpSocket *to)
    {
        const QPointer<QTcpSocket> target(to);
        connect(from, &QTcpSocket::readyRead, from, [this, from, target] {
            const QByteArray bytes = from->readAll();
            QTimer::singleShot(m_delayMs, Qt::PreciseTimer, from, [target, bytes] {
                if (target)
                    target->write(bytes);
            });
        });
        connect(from, &QTcpSocket::disconnected, from, [this, from, target] {
            QTimer::singleShot(m_delayMs, Qt::PreciseTimer, from, [target] {
                if (target)
                    target->disconnectFromHost();
            });
        });
    }

    QTcpServer *m_listener = new QTcpServer(this);
    quint16 m_serverPort;
    int m_delayMs;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Milliseconds from the request to its first text.
double firstTextAfter(const QUrl &endpoint, bool warm, int typingMs)
{
    AIClient client;
    if (warm)
        client.warmUp(endpoint.adjusted(QUrl::RemovePath));
    QEventLoop typing;
    QTimer::singleShot(typingMs, &typing, &QEventLoop::quit);
    typing.exec();

    AIHttpRequest request;
    request.request = QNetworkRequest(endpoint);
    request.request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.body = R"({"model":"m","stream":true})";
    QEventLoop done;
    QElapsedTimer elapsed;
    double firstText = -1;
    elapsed.start();
    AIReply *reply = client.performStreamingRequest(
        request,
        AIRequestOptions::standard(QStringLiteral("bench"), AIRequestTimeoutRetryPolicy::none),
        [&](const QString &) {
            if (firstText < 0)
                firstText = double(elapsed.nsecsElapsed()) / 1e6;
        },
        [](QByteArrayView payload) {
            return payload.contains("Hi") ? AIDecodeResult::ofText(QStringLiteral("Hi"))
                                          : AIDecodeResult::undecodable();
        });
    QObject::connect(reply, &AIReply::finished, &done, &QEventLoop::quit);
    done.exec();
    if (reply->state() != AIReply::State::succeeded)
        qFatal("The request failed: %s", qPrintable(reply->error()->errorDescription()));
    delete reply;
    return firstText;
}

} // namespace

int main(int argc, char *argv[])
{
    // Wrenlark's code in this process logs to the log file, as in the
    // application, not to standard error.
    FileLogger::installMessageSink();
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_STATE_HOME", home.path().toUtf8());
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(
        {{QStringLiteral("cert"), QStringLiteral("PEM certificate"), QStringLiteral("file")},
         {QStringLiteral("key"), QStringLiteral("PEM private key"), QStringLiteral("file")},
         {QStringLiteral("rounds"), QStringLiteral("Rounds of each"), QStringLiteral("n"),
          QStringLiteral("15")},
         {QStringLiteral("typing-ms"), QStringLiteral("Time to type"), QStringLiteral("ms"),
          QStringLiteral("1000")},
         {QStringLiteral("delay-ms"), QStringLiteral("Delay each way"), QStringLiteral("ms"),
          QStringLiteral("40")}});
    parser.process(app);

    QFile certFile(parser.value(QStringLiteral("cert")));
    QFile keyFile(parser.value(QStringLiteral("key")));
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        qFatal("Give --cert and --key (PEM files).");
    const QSslCertificate certificate(certFile.readAll());
    QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
    serverTls.setLocalCertificate(certificate);
    serverTls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    // The client trusts the server's own certificate, as it would a CA's.
    QSslConfiguration clientTls = QSslConfiguration::defaultConfiguration();
    clientTls.setCaCertificates({certificate});
    QSslConfiguration::setDefaultConfiguration(clientTls);

    QThread serverThread;
    auto *server = new StreamServer(serverTls);
    server->moveToThread(&serverThread);
    serverThread.start();
    const int delayMs = parser.value(QStringLiteral("delay-ms")).toInt();
    DelayRelay *relay = nullptr;
    quint16 port = 0;
    QMetaObject::invokeMethod(
        server,
        [&] {
            relay = new DelayRelay(server->listen(), delayMs);
            port = relay->listen();
        },
        Qt::BlockingQueuedConnection);
    const QUrl endpoint(QStringLiteral("https://localhost:%1/v1/chat/completions").arg(port));

    const int rounds = parser.value(QStringLiteral("rounds")).toInt();
    const int typingMs = parser.value(QStringLiteral("typing-ms")).toInt();
    std::vector<double> cold, warm;
    for (int i = 0; i < rounds; ++i) {
        cold.push_back(firstTextAfter(endpoint, false, typingMs));
        warm.push_back(firstTextAfter(endpoint, true, typingMs));
    }
    std::printf("Return -> first text, %d ms each way, median of %d (min-max), ms:\n", delayMs,
                rounds);
    std::printf("  cold connection: %.1f (%.1f-%.1f)\n", median(cold),
                *std::min_element(cold.begin(), cold.end()),
                *std::max_element(cold.begin(), cold.end()));
    std::printf("  warmed at open:  %.1f (%.1f-%.1f)\n", median(warm),
                *std::min_element(warm.begin(), warm.end()),
                *std::max_element(warm.begin(), warm.end()));

    QMetaObject::invokeMethod(
        server,
        [server, relay] {
            delete relay;
            delete server;
        },
        Qt::BlockingQueuedConnection);
    serverThread.quit();
    serverThread.wait();
    return 0;
}
