#include "support/TestConnectProxy.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

TestConnectProxy::TestConnectProxy(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    if (!m_server->listen(QHostAddress::LocalHost, 0))
        qFatal("TestConnectProxy cannot listen on 127.0.0.1: %s",
               qPrintable(m_server->errorString()));
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *client = m_server->nextPendingConnection())
            accept(client);
    });
}

QUrl TestConnectProxy::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort()));
}

void TestConnectProxy::accept(QTcpSocket *client)
{
    connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    // The request head; once the tunnel runs, the bytes are the client's.
    auto *head = new QByteArray;
    connect(client, &QObject::destroyed, [head] { delete head; });
    connect(client, &QTcpSocket::readyRead, this, [this, client, head] {
        if (client->property("tunnelled").toBool())
            return;
        head->append(client->readAll());
        if (!head->contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = head->left(head->indexOf("\r\n")).split(' ');
        if (requestLine.size() < 2 || requestLine.first() != "CONNECT") {
            client->write("HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n");
            client->disconnectFromHost();
            return;
        }
        m_targets.append(requestLine.at(1));
        answer(client, requestLine.at(1));
    });
}

void TestConnectProxy::answer(QTcpSocket *client, const QByteArray &target)
{
    switch (m_mode) {
    case Mode::askForCredentials:
        client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                      "Proxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n\r\n");
        return;
    case Mode::refuse:
        client->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
        client->disconnectFromHost();
        return;
    case Mode::tunnel:
        break;
    }
    auto *server = new QTcpSocket(client);
    client->setProperty("tunnelled", true);
    connect(server, &QTcpSocket::connected, client,
            [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
    connect(server, &QTcpSocket::readyRead, client,
            [client, server] { client->write(server->readAll()); });
    connect(client, &QTcpSocket::readyRead, server,
            [client, server] { server->write(client->readAll()); });
    connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
    connect(client, &QTcpSocket::disconnected, server, &QTcpSocket::disconnectFromHost);
    server->connectToHost(QHostAddress::LocalHost, quint16(target.split(':').last().toUInt()));
}

TestCertificate TestCertificate::make(const QString &hostName)
{
    QTemporaryDir folder;
    const QString certificate = folder.filePath(QStringLiteral("certificate.pem"));
    const QString key = folder.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=") + hostName, QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=DNS:") + hostName, QStringLiteral("-keyout"), key,
                   QStringLiteral("-out"), certificate});
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0)
        return {};
    QFile certificateFile(certificate);
    QFile keyFile(key);
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return {};
    return {certificateFile.readAll(), keyFile.readAll()};
}
