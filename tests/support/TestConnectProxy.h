#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QUrl>

class QTcpServer;
class QTcpSocket;

// An HTTP proxy on 127.0.0.1 that answers CONNECT, as company proxies do for
// HTTPS: it tunnels to 127.0.0.1 whatever host the client names (so a test
// can use a made-up host name and still never leave this machine), or asks
// for credentials, or refuses.
class TestConnectProxy : public QObject
{
    Q_OBJECT

public:
    enum class Mode { tunnel, askForCredentials, refuse };

    explicit TestConnectProxy(QObject *parent = nullptr);

    void setMode(Mode mode) { m_mode = mode; }
    // http://127.0.0.1:<port>
    QUrl url() const;
    // The CONNECT targets asked for so far ("host:port").
    const QList<QByteArray> &targets() const { return m_targets; }

private:
    void accept(QTcpSocket *client);
    void answer(QTcpSocket *client, const QByteArray &target);

    QTcpServer *m_server;
    Mode m_mode = Mode::tunnel;
    QList<QByteArray> m_targets;
};

// A throw-away certificate for `hostName` and its key (PEM), made by the
// openssl command; empty when that failed.
struct TestCertificate
{
    QByteArray certificate;
    QByteArray key;

    static TestCertificate make(const QString &hostName);
};
