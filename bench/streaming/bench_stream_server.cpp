// A local server for the streaming benchmark: answers every request whose
// path starts with /<N>/ with an OpenAI chat-completion event stream of N
// small deltas and "[DONE]", chunked, as fast as the client reads it. The
// body is built once per N, so serving costs no more than writing it.
//
//   bench_stream_server        prints the port it listens on (127.0.0.1)

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>

namespace {

constexpr qsizetype httpChunkSize = 16 * 1024;

QByteArray eventStream(int deltas)
{
    const QByteArray event =
        "data: {\"id\":\"chatcmpl-bench\",\"object\":\"chat.completion.chunk\","
        "\"choices\":[{\"index\":0,\"delta\":{\"content\":\"tok \"}}]}\n\n";
    QByteArray body;
    body.reserve(event.size() * deltas + 16);
    for (int i = 0; i < deltas; ++i)
        body += event;
    body += "data: [DONE]\n\n";

    QByteArray chunked = "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                         "Cache-Control: no-cache\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0; at < body.size(); at += httpChunkSize) {
        const QByteArray piece = body.mid(at, httpChunkSize);
        chunked += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
    }
    return chunked + "0\r\n\r\n";
}

class Server : public QTcpServer
{
public:
    Server()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection())
                serve(socket);
        });
    }

private:
    void serve(QTcpSocket *socket)
    {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
            QByteArray &pending = m_pending[socket];
            pending += socket->readAll();
            const qsizetype headEnd = pending.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            qsizetype length = 0;
            for (const QByteArray &line : pending.left(headEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (pending.size() < headEnd + 4 + length)
                return;
            const QByteArray target = pending.left(pending.indexOf("\r\n")).split(' ').value(1);
            m_pending.remove(socket);
            const int deltas = target.split('/').value(1).toInt();
            if (!m_bodies.contains(deltas))
                m_bodies.insert(deltas, eventStream(deltas));
            socket->write(m_bodies.value(deltas));
        });
    }

    QHash<QTcpSocket *, QByteArray> m_pending;
    QHash<int, QByteArray> m_bodies;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Server server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 1;
    std::printf("%d\n", int(server.serverPort()));
    std::fflush(stdout);
    return app.exec();
}
