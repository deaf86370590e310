#include "core/auth/OpenAIProPlusCallbackServer.h"
#include "support/TestHttpServer.h"

#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <vector>

namespace {

const QString state = QStringLiteral("expected-state");

struct Answer
{
    int status = 0;
    QByteArray head;
    QString body;
};

// Sends `pieces` (waiting for each to be read separately) and reads the
// answer until the server closes.
Answer exchange(quint16 port, const QList<QByteArray> &pieces,
                const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(5000))
        return {};
    for (const QByteArray &piece : pieces) {
        socket.write(piece);
        socket.flush();
        TestHttpServer::waitUntil([&] { return socket.bytesToWrite() == 0; }, 2000);
        // Let the server read this piece on its own before the next one.
        TestHttpServer::waitUntil([] { return false; }, 30);
    }
    QByteArray received;
    TestHttpServer::waitUntil(
        [&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        5000);
    received += socket.readAll();
    const qsizetype headEnd = received.indexOf("\r\n\r\n");
    Answer answer;
    answer.head = received.left(headEnd);
    answer.status = received.mid(9, 3).toInt();
    answer.body = QString::fromUtf8(received.mid(headEnd + 4));
    return answer;
}

Answer get(quint16 port, const QByteArray &target)
{
    return exchange(port, {"GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n"});
}

} // namespace

class TestCallbackServer : public QObject
{
    Q_OBJECT

    std::unique_ptr<OpenAIProPlusCallbackServer> m_server;

    OpenAIProPlusCallbackServer &startServer()
    {
        m_server = std::make_unique<OpenAIProPlusCallbackServer>(0, state);
        const auto error = m_server->start();
        if (error)
            qFatal("callback server did not start: %s", qPrintable(error->errorDescription()));
        return *m_server;
    }

    // Waits for the outcome of a wait that has begun.
    std::optional<OpenAIProPlusCallbackServer::Outcome> outcome(double timeoutSeconds = 5)
    {
        QSignalSpy finished(m_server.get(), &OpenAIProPlusCallbackServer::finished);
        m_server->waitForCode(timeoutSeconds);
        if (!finished.wait(int(timeoutSeconds * 1000) + 2000))
            return std::nullopt;
        return m_server->outcome();
    }

private Q_SLOTS:
    void cleanup() { m_server.reset(); }

    void validRedirectAnswersSuccessAndGivesTheCode()
    {
        auto &server = startServer();
        QSignalSpy finished(&server, &OpenAIProPlusCallbackServer::finished);
        server.waitForCode(30);
        const Answer answer = get(server.port(), "/auth/callback?state=expected-state&code=C%2B1");
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.head.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(answer.head.contains("Content-Type: text/html; charset=utf-8"));
        QVERIFY(answer.head.contains("Connection: close"));
        QVERIFY(answer.head.contains("Content-Length: " +
                                     QByteArray::number(answer.body.toUtf8().size())));
        QVERIFY(answer.body.contains(
            QStringLiteral("<title>Wrenlark Authorization Successful</title>")));
        QVERIFY(
            answer.body.contains(QStringLiteral("You can close this tab and return to Wrenlark.")));
        QVERIFY(answer.body.contains(QStringLiteral("setTimeout(() => window.close(), 1500)")));
        QVERIFY(finished.wait(2000) || finished.size() == 1);
        QCOMPARE(std::get<QString>(*server.outcome()), QStringLiteral("C+1"));
        // The first outcome stops the listener.
        QTcpSocket late;
        late.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(!late.waitForConnected(1000));
    }

    void redirectBeforeTheWaitIsKept()
    {
        auto &server = startServer();
        QCOMPARE(get(server.port(), "/auth/callback?state=expected-state&code=early").status, 200);
        const auto result = outcome(60);
        QVERIFY(result);
        QCOMPARE(std::get<QString>(*result), QStringLiteral("early"));
    }

    void otherPathsGetNotFoundAndTheWaitGoesOn()
    {
        auto &server = startServer();
        QSignalSpy finished(&server, &OpenAIProPlusCallbackServer::finished);
        server.waitForCode(30);
        const Answer favicon = get(server.port(), "/favicon.ico");
        QCOMPARE(favicon.status, 404);
        QVERIFY(favicon.head.startsWith("HTTP/1.1 404 Not Found\r\n"));
        QVERIFY(favicon.body.contains(QStringLiteral("<p>Not found.</p>")));
        QVERIFY(favicon.body.contains(QStringLiteral("Wrenlark Authorization Failed")));
        QCOMPARE(finished.size(), 0);
        QCOMPARE(get(server.port(), "/auth/callback?code=X&state=expected-state").status, 200);
        QVERIFY(finished.wait(2000) || finished.size() == 1);
        QCOMPARE(std::get<QString>(*server.outcome()), QStringLiteral("X"));
    }

    void redirectsWithTheStateEndTheWaitWithTheirError_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("errorKind");
        using Kind = OpenAIProPlusAuthError::Kind;
        QTest::newRow("no code") << QByteArray("/auth/callback?state=expected-state")
                                 << "Missing authorization code."
                                 << int(Kind::missingAuthorizationCode);
        QTest::newRow("access denied")
            << QByteArray("/auth/callback?error=access_denied&error_description=User%20cancelled"
                          "&state=expected-state")
            << "User cancelled" << int(Kind::loginCanceled);
        QTest::newRow("server error")
            << QByteArray("/auth/callback?error=server_error&state=expected-state")
            << "server_error" << int(Kind::authority);
        QTest::newRow("markup is escaped")
            << QByteArray("/auth/callback?state=expected-state&error=x&error_description="
                          "%3Cscript%3Ealert(1)%3C/script%3E")
            << "&lt;script&gt;alert(1)&lt;/script&gt;" << int(Kind::authority);
    }

    void redirectsWithTheStateEndTheWaitWithTheirError()
    {
        QFETCH(QByteArray, target);
        QFETCH(QString, message);
        QFETCH(int, errorKind);
        auto &server = startServer();
        const Answer answer = get(server.port(), target);
        QCOMPARE(answer.status, 400);
        QVERIFY(answer.head.startsWith("HTTP/1.1 400 Bad Request\r\n"));
        QVERIFY2(answer.body.contains(QStringLiteral("<p>") + message + QStringLiteral("</p>")),
                 qPrintable(answer.body));
        QVERIFY(!answer.body.contains(QStringLiteral("<script>alert")));
        const auto result = outcome();
        QVERIFY(result);
        const auto &error = std::get<OpenAIProPlusAuthError>(*result);
        QCOMPARE(int(error.kind()), errorKind);
        if (error.kind() == OpenAIProPlusAuthError::Kind::authority)
            QCOMPARE(error.statusCode(), 1);
    }

    // Any page the user visits can send these to the port: each is answered
    // and the real redirect that follows still completes the sign-in.
    void strayRequestsAreAnsweredAndTheWaitGoesOn_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const auto get = [](const QByteArray &target) {
            return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
        };
        QTest::newRow("no state") << get("/auth/callback?code=C") << 400 << "Missing state value.";
        QTest::newRow("empty state")
            << get("/auth/callback?state=&code=C") << 400 << "Missing state value.";
        QTest::newRow("wrong state")
            << get("/auth/callback?state=other&code=C") << 400 << "Invalid state value.";
        QTest::newRow("error without state")
            << get("/auth/callback?error=access_denied&error_description=gone") << 400
            << "Missing state value.";
        QTest::newRow("error with a wrong state")
            << get("/auth/callback?error=server_error&state=guess") << 400
            << "Invalid state value.";
        QTest::newRow("unparsable target")
            << get("/auth/callback?state=%zz") << 400 << "Invalid callback URL.";
        QTest::newRow("one word") << QByteArray("GET\r\n\r\n") << 400
                                  << "Invalid callback request.";
        QTest::newRow("not utf-8")
            << get("/auth/callback?code=\xff\xfe") << 400 << "Invalid callback request.";
        QTest::newRow("head over 64 KiB on another path")
            << QByteArray("GET /x HTTP/1.1\r\nX: ") + QByteArray(70 * 1024, 'a') << 400
            << "Invalid callback request.";
        QTest::newRow("head over 64 KiB with the state")
            << QByteArray("GET /auth/callback?state=expected-state&code=C HTTP/1.1\r\nX: ") +
                   QByteArray(70 * 1024, 'a')
            << 400 << "Invalid callback request.";
        QTest::newRow("other path") << get("/favicon.ico") << 404 << "Not found.";
    }

    void strayRequestsAreAnsweredAndTheWaitGoesOn()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QString, message);
        auto &server = startServer();
        QSignalSpy finished(&server, &OpenAIProPlusCallbackServer::finished);
        server.waitForCode(30);
        const Answer answer = exchange(server.port(), {request});
        QCOMPARE(answer.status, status);
        QVERIFY2(answer.body.contains(QStringLiteral("<p>") + message + QStringLiteral("</p>")),
                 qPrintable(answer.body));
        QCOMPARE(finished.size(), 0);
        QVERIFY(!server.outcome());
        QCOMPARE(get(server.port(), "/auth/callback?state=expected-state&code=real").status, 200);
        QVERIFY(finished.wait(2000) || finished.size() == 1);
        QCOMPARE(std::get<QString>(*server.outcome()), QStringLiteral("real"));
    }

    void headInPiecesIsProcessedOnceComplete()
    {
        auto &server = startServer();
        const Answer answer =
            exchange(server.port(),
                     {"GET /auth/cal", "lback?state=expected-state&code=P HTTP/1.1\r\nHost: l",
                      "ocalhost\r\n\r", "\n"});
        QCOMPARE(answer.status, 200);
        const auto result = outcome();
        QVERIFY(result);
        QCOMPARE(std::get<QString>(*result), QStringLiteral("P"));
    }

    // Only a head ended by its blank line is a request, whatever it names.
    void headCutShortIsNoRequest_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("request line without its end")
            << QByteArray("GET /auth/callback?state=expected-state&code=C HTTP/1.1");
        QTest::newRow("head without its blank line")
            << QByteArray("GET /auth/callback?state=expected-state&code=C HTTP/1.1\r\nHost: x\r\n");
        QTest::newRow("garbage") << QByteArray("\x16\x03\x01\x02\x00garbage", 12);
    }

    void headCutShortIsNoRequest()
    {
        QFETCH(QByteArray, sent);
        auto &server = startServer();
        QSignalSpy finished(&server, &OpenAIProPlusCallbackServer::finished);
        server.waitForCode(30);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write(sent);
        QVERIFY(socket.waitForBytesWritten(2000));
        // Half-close: the client has said all it will say.
        QCOMPARE(::shutdown(int(socket.socketDescriptor()), SHUT_WR), 0);
        QByteArray received;
        TestHttpServer::waitUntil(
            [&] {
                received += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            3000);
        QCOMPARE(received, QByteArray());
        QCOMPARE(finished.size(), 0);
        QCOMPARE(get(server.port(), "/auth/callback?state=expected-state&code=real").status, 200);
        QVERIFY(finished.wait(2000) || finished.size() == 1);
        QCOMPARE(std::get<QString>(*server.outcome()), QStringLiteral("real"));
    }

    // Idle connections can neither pile up nor keep the redirect out: they
    // are capped, dropped after the head time-out, and the redirect queued
    // behind them is served once they are gone.
    void idleConnectionsAreCappedAndDropped()
    {
        OpenAIProPlusCallbackServer::Limits limits;
        limits.headTimeoutMilliseconds = 300;
        limits.maximumConnections = 4;
        m_server = std::make_unique<OpenAIProPlusCallbackServer>(0, state, limits);
        QVERIFY(!m_server->start());
        QSignalSpy finished(m_server.get(), &OpenAIProPlusCallbackServer::finished);
        m_server->waitForCode(30);

        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 20; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost, m_server->port());
            QVERIFY(socket->waitForConnected(2000));
            socket->write("GET /auth/callback?state=expected-state");
            idle.push_back(std::move(socket));
        }
        int mostOpen = 0;
        TestHttpServer::waitUntil(
            [&] {
                mostOpen = std::max(mostOpen, m_server->openConnectionCount());
                return false;
            },
            200);
        QVERIFY(mostOpen > 0);
        QVERIFY2(mostOpen <= limits.maximumConnections, qPrintable(QString::number(mostOpen)));

        const Answer answer = get(m_server->port(), "/auth/callback?state=expected-state&code=Q");
        QCOMPARE(answer.status, 200);
        QVERIFY(finished.wait(2000) || finished.size() == 1);
        QCOMPARE(std::get<QString>(*m_server->outcome()), QStringLiteral("Q"));
        // The idle ones were closed by the server, unanswered.
        for (const auto &socket : idle) {
            TestHttpServer::waitUntil(
                [&] { return socket->state() == QAbstractSocket::UnconnectedState; }, 3000);
            QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
            QCOMPARE(socket->readAll(), QByteArray());
        }
    }

    // With no file descriptor left accept() fails; the listener rests and
    // serves the queued redirect once descriptors are free again.
    void acceptFailureIsSurvived()
    {
        OpenAIProPlusCallbackServer::Limits limits;
        limits.acceptRetryMilliseconds = 50;
        m_server = std::make_unique<OpenAIProPlusCallbackServer>(0, state, limits);
        QVERIFY(!m_server->start());
        QSignalSpy finished(m_server.get(), &OpenAIProPlusCallbackServer::finished);
        m_server->waitForCode(30);

        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_server->port());
        QVERIFY(socket.waitForConnected(2000));
        socket.write("GET /auth/callback?state=expected-state&code=F HTTP/1.1\r\n\r\n");
        QVERIFY(socket.waitForBytesWritten(2000));

        rlimit original = {};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &original), 0);
        int lowestFree = 0;
        while (::fcntl(lowestFree, F_GETFD) != -1)
            ++lowestFree;
        rlimit exhausted = original;
        exhausted.rlim_cur = rlim_t(lowestFree);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &exhausted), 0);
        TestHttpServer::waitUntil([] { return false; }, 300);
        const bool answeredWhileExhausted = finished.size() > 0;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &original), 0);
        QVERIFY(!answeredWhileExhausted);

        QVERIFY(finished.wait(3000) || finished.size() == 1);
        QCOMPARE(std::get<QString>(*m_server->outcome()), QStringLiteral("F"));
    }

    void connectionThatSendsNothingDoesNotEndTheWait()
    {
        auto &server = startServer();
        QSignalSpy finished(&server, &OpenAIProPlusCallbackServer::finished);
        server.waitForCode(30);
        {
            QTcpSocket preconnect;
            preconnect.connectToHost(QHostAddress::LocalHost, server.port());
            QVERIFY(preconnect.waitForConnected(2000));
            TestHttpServer::waitUntil([] { return false; }, 50);
        }
        TestHttpServer::waitUntil([] { return false; }, 100);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(get(server.port(), "/auth/callback?state=expected-state&code=Z").status, 200);
    }

    void listensOnLoopbackOnly()
    {
        auto &server = startServer();
        const auto addresses = server.listeningAddresses();
        QVERIFY(addresses.contains(QHostAddress(QHostAddress::LocalHost)));
        for (const QHostAddress &address : addresses)
            QVERIFY2(address.isLoopback(), qPrintable(address.toString()));

        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHostIPv6, 1);
        probe.waitForConnected(1000);
        const bool hasIPv6 = probe.error() != QAbstractSocket::NetworkError &&
                             probe.error() != QAbstractSocket::UnsupportedSocketOperationError;
        if (hasIPv6) {
            QCOMPARE(addresses.size(), 2);
            QCOMPARE(exchange(server.port(), {"GET /x HTTP/1.1\r\n\r\n"},
                              QHostAddress(QHostAddress::LocalHostIPv6))
                         .status,
                     404);
        }

        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            QTcpSocket outside;
            outside.connectToHost(address, server.port());
            QVERIFY2(!outside.waitForConnected(1000), qPrintable(address.toString()));
        }
    }

    void takenPortIsRecognised()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost, 0));
        OpenAIProPlusCallbackServer server(other.serverPort(), state);
        const auto error = server.start();
        QVERIFY(error);
        QVERIFY(error->isAddressInUse());
        QVERIFY(server.listeningAddresses().isEmpty());
    }

    void waitTimesOut()
    {
        startServer();
        const auto result = outcome(0.05);
        QVERIFY(result);
        QCOMPARE(std::get<OpenAIProPlusAuthError>(*result).kind(),
                 OpenAIProPlusAuthError::Kind::callbackTimeout);
    }
};

QTEST_GUILESS_MAIN(TestCallbackServer)
#include "test_callbackserver.moc"
