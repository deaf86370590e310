// The sway IPC client against a stand-in compositor on a local socket that
// answers as scripted: replies in pieces, events in between, replies of the
// wrong type or too late, broken frames. A late reply must never be taken for
// the answer to the next request.
#include "platform/linux/desktops/wlroots/SwayIpc.h"

#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWaitCondition>
#include <QtEndian>
#include <cstring>
#include <memory>

namespace {

QByteArray frame(quint32 type, const QByteArray &payload)
{
    QByteArray bytes("i3-ipc");
    const quint32 size = quint32(payload.size());
    bytes.append(reinterpret_cast<const char *>(&size), sizeof size);
    bytes.append(reinterpret_cast<const char *>(&type), sizeof type);
    return bytes + payload;
}

// What the stand-in sends for one request: pieces with a pause before each.
struct Piece
{
    QByteArray bytes;
    int delayMs = 0;
};
using Answer = QList<Piece>;

// A compositor on its own thread: for each request it reads, it sends the
// next scripted answer, on whichever connection the request came.
class StandInCompositor : public QThread
{
public:
    explicit StandInCompositor(QList<Answer> answers)
        : m_answers(std::move(answers))
    {
        m_path = m_folder.filePath(QStringLiteral("sway-ipc.sock"));
    }

    ~StandInCompositor() override
    {
        requestInterruption();
        wait();
    }

    QString path() const { return m_path; }

    // The requests read so far: type and payload.
    QList<std::pair<quint32, QByteArray>> requests()
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    int connections()
    {
        QMutexLocker lock(&m_mutex);
        return m_connections;
    }

    bool listen()
    {
        start();
        QMutexLocker lock(&m_mutex);
        while (!m_listening)
            m_ready.wait(&m_mutex);
        return m_listenOk;
    }

protected:
    void run() override
    {
        QLocalServer server;
        {
            QMutexLocker lock(&m_mutex);
            m_listenOk = server.listen(m_path);
            m_listening = true;
            m_ready.wakeAll();
        }
        std::unique_ptr<QLocalSocket> client;
        while (!isInterruptionRequested()) {
            if (server.waitForNewConnection(10)) {
                client.reset(server.nextPendingConnection());
                QMutexLocker lock(&m_mutex);
                ++m_connections;
            }
            if (client && (client->bytesAvailable() > 0 || client->waitForReadyRead(10)))
                serve(*client);
        }
    }

private:
    void serve(QLocalSocket &client)
    {
        while (client.bytesAvailable() >= 14) {
            const QByteArray head = client.peek(14);
            const quint32 size = qFromUnaligned<quint32>(head.constData() + 6);
            if (client.bytesAvailable() < 14 + qint64(size) && !client.waitForReadyRead(100))
                return;
            client.read(14);
            const quint32 type = qFromUnaligned<quint32>(head.constData() + 10);
            const QByteArray payload = client.read(size);
            Answer answer;
            {
                QMutexLocker lock(&m_mutex);
                m_requests.append({type, payload});
                if (!m_answers.isEmpty())
                    answer = m_answers.takeFirst();
            }
            for (const Piece &piece : answer) {
                QThread::msleep(piece.delayMs);
                if (client.state() != QLocalSocket::ConnectedState)
                    return;
                client.write(piece.bytes);
                client.waitForBytesWritten(1000);
            }
        }
    }

    QTemporaryDir m_folder;
    QString m_path;
    QList<Answer> m_answers;
    QMutex m_mutex;
    QWaitCondition m_ready;
    bool m_listening = false;
    bool m_listenOk = false;
    QList<std::pair<quint32, QByteArray>> m_requests;
    int m_connections = 0;
};

constexpr quint32 tree = quint32(SwayIpc::Message::getTree);
constexpr quint32 command = quint32(SwayIpc::Message::runCommand);

Answer whole(quint32 type, const QByteArray &payload, int delayMs = 0)
{
    return {{frame(type, payload), delayMs}};
}

} // namespace

Q_DECLARE_METATYPE(Answer)

class SwayIpcTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyInPiecesWithAnEventBefore()
    {
        const QByteArray reply = frame(tree, R"({"id":1,"type":"root"})");
        StandInCompositor compositor({
            // An event (high bit set) first, then the reply cut inside the
            // magic, inside the length and inside the payload.
            {{frame(0x80000003u, R"({"change":"focus"})"), 0},
             {reply.left(3), 0},
             {reply.mid(3, 5), 20},
             {reply.mid(8, 12), 20},
             {reply.mid(20), 20}},
            whole(command, R"([{"success":true},{"success":false,"error":"No matching node."}])"),
        });
        QVERIFY(compositor.listen());
        SwayIpc ipc(compositor.path(), 1000);

        const auto answer = ipc.request(SwayIpc::Message::getTree);
        QVERIFY2(answer, qPrintable(ipc.lastError()));
        QCOMPARE(answer->object().value(QStringLiteral("type")).toString(), QStringLiteral("root"));

        // One failed command of two fails the whole.
        QVERIFY(!ipc.runCommand(QStringLiteral("[con_id=3] focus; [con_id=9] focus")));
        QVERIFY2(ipc.lastError().contains(QStringLiteral("No matching node.")),
                 qPrintable(ipc.lastError()));
        const auto requests = compositor.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests.at(0), std::make_pair(tree, QByteArray()));
        QCOMPARE(requests.at(1),
                 std::make_pair(command, QByteArray("[con_id=3] focus; [con_id=9] focus")));
        QCOMPARE(compositor.connections(), 1);
    }

    // A reply that comes too late, or answers another request, is dropped
    // with its connection: the next request gets its own reply.
    void lateOrForeignRepliesAreNeverTakenForTheNext_data()
    {
        QTest::addColumn<Answer>("first");
        QTest::addColumn<QString>("error");

        QTest::newRow("too late") << whole(tree, R"({"n":1})", 1200)
                                  << QStringLiteral("no reply within 400 ms");
        QTest::newRow("of another type")
            << whole(command, R"([{"success":true}])")
            << QStringLiteral("a reply of type 0 to a request of type 4");
    }

    void lateOrForeignRepliesAreNeverTakenForTheNext()
    {
        QFETCH(Answer, first);
        QFETCH(QString, error);
        StandInCompositor compositor({first, whole(tree, R"({"n":2})")});
        QVERIFY(compositor.listen());
        SwayIpc ipc(compositor.path(), 400);

        QVERIFY(!ipc.request(SwayIpc::Message::getTree));
        QCOMPARE(ipc.lastError(), error);
        // Once the stand-in has written what it had for the first request.
        QTest::qWait(1000);
        const auto second = ipc.request(SwayIpc::Message::getTree);
        QVERIFY2(second, qPrintable(ipc.lastError()));
        QCOMPARE(second->object().value(QStringLiteral("n")).toInt(), 2);
        QCOMPARE(compositor.connections(), 2);
    }

    void brokenFramesFail_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("error");

        QByteArray badMagic = frame(tree, "{}");
        badMagic[0] = 'x';
        QTest::newRow("not i3-ipc")
            << Answer{{badMagic, 0}} << QStringLiteral("does not start with");
        // A length no compositor sends: refused before anything is allocated.
        QByteArray huge = frame(tree, {});
        const quint32 size = 0xfffffff0u;
        std::memcpy(huge.data() + 6, &size, sizeof size);
        QTest::newRow("absurd length") << Answer{{huge, 0}} << QStringLiteral("bytes");
        QTest::newRow("body cut short")
            << Answer{{frame(tree, R"({"id":1,"nodes":[]})").chopped(4), 0}}
            << QStringLiteral("ended early");
        QTest::newRow("not JSON") << whole(tree, "{\"id\":") << QStringLiteral("not JSON");
        QTest::newRow("silence") << Answer{} << QStringLiteral("no reply");
    }

    void brokenFramesFail()
    {
        QFETCH(Answer, answer);
        QFETCH(QString, error);
        StandInCompositor compositor({answer});
        QVERIFY(compositor.listen());
        SwayIpc ipc(compositor.path(), 150);
        QVERIFY(!ipc.request(SwayIpc::Message::getTree));
        QVERIFY2(ipc.lastError().contains(error), qPrintable(ipc.lastError()));
    }

    void nobodyListening()
    {
        QTemporaryDir folder;
        SwayIpc ipc(folder.filePath(QStringLiteral("gone.sock")));
        QVERIFY(!ipc.isAnswering());
        QVERIFY(ipc.lastError().startsWith(QStringLiteral("cannot connect")));
        SwayIpc unset{QString()};
        QVERIFY(!ipc.runCommand(QStringLiteral("nop")));
        QVERIFY(!unset.isAnswering());
        QCOMPARE(unset.lastError(), QStringLiteral("SWAYSOCK is not set"));
    }
};

QTEST_GUILESS_MAIN(SwayIpcTest)
#include "test_sway_ipc.moc"
