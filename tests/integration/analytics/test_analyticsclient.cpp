#include "core/analytics/AnalyticsClient.h"
#include "core/analytics/AnalyticsSignalQueue.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"

#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <sys/stat.h>

namespace {

const QString testAppID = QStringLiteral("3F2A9C41-7B6E-4D15-A8C3-52E07B1D94AF");
const QByteArray ingestPath = "/v1/signals";

QList<QJsonObject> signalsOf(const TestHttpServer::RecordedRequest &request)
{
    QList<QJsonObject> result;
    for (const QJsonValue &value : request.jsonBody().value(QStringLiteral("signals")).toArray())
        result.append(value.toObject());
    return result;
}

QString payloadValue(const QJsonObject &signal, const QString &key)
{
    return signal.value(QStringLiteral("payload")).toObject().value(key).toString();
}

// A port on 127.0.0.1 where nothing listens.
QUrl unreachableEndpoint()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/v1/signals").arg(port));
}

} // namespace

class TestAnalyticsClient : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::atomic<int> m_defaultParameterCalls{0};
    std::atomic<bool> m_defaultsOnMainThread{false};

    QString queuePath() const { return m_dir->filePath(QStringLiteral("analytics-queue.json")); }

    AnalyticsClientConfiguration configuration()
    {
        AnalyticsClientConfiguration configuration(testAppID);
        configuration.signalNamePrefix = QStringLiteral("Wrenlark.");
        configuration.parameterKeyPrefix = QStringLiteral("Wrenlark.");
        configuration.defaultParameters = [this] {
            if (QThread::currentThread() == qApp->thread())
                m_defaultsOnMainThread = true;
            const int call = ++m_defaultParameterCalls;
            return AnalyticsParameters{
                {QStringLiteral("currentProviderID"), QStringLiteral("openai")},
                {QStringLiteral("call"), QString::number(call)}};
        };
        return configuration;
    }

    AnalyticsDeliveryOptions options(const QUrl &endpoint)
    {
        AnalyticsDeliveryOptions options;
        options.endpoint = endpoint;
        options.queueFilePath = queuePath();
        options.batchSize = 3;
        options.flushIntervalSeconds = 3600; // only full batches, unless a test says otherwise
        options.initialRetryDelaySeconds = 0.02;
        options.maxRetryDelaySeconds = 0.05;
        options.shutdownFlushSeconds = 5;
        return options;
    }

    QList<AnalyticsSignalRecord> storedQueue() const
    {
        AnalyticsSignalQueue queue(queuePath(), 1000);
        queue.load();
        return queue.records();
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>(qEnvironmentVariable("WRENLARK_TEST_SANDBOX") +
                                                QStringLiteral("/queue-XXXXXX"));
        QVERIFY(m_dir->isValid());
        m_defaultParameterCalls = 0;
        m_defaultsOnMainThread = false;
    }

    void fullBatchIsPostedWithPrefixesAndPerSignalDefaults()
    {
        TestHttpServer server;
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        AnalyticsClient client(configuration(),
                               options(server.url(QString::fromLatin1(ingestPath))));
        QSignalSpy delivered(&client, &AnalyticsClient::batchDelivered);

        client.send(QStringLiteral("App.launched"));
        client.send(QStringLiteral("Query.submitted"),
                    {{QStringLiteral("providerID"), QStringLiteral("xai")}});
        client.send(QStringLiteral("Query.failed"),
                    {{QStringLiteral("currentProviderID"), QStringLiteral("mine")}});
        QVERIFY(delivered.wait());
        QCOMPARE(delivered.first().first().toInt(), 3);

        QCOMPARE(server.requestCount(), 1);
        const TestHttpServer::RecordedRequest request = server.requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QVERIFY(request.header("Content-Type").startsWith("application/json"));
        QCOMPARE(request.jsonBody().value(QStringLiteral("appID")).toString(), testAppID);

        const QList<QJsonObject> posted = signalsOf(request);
        QCOMPARE(posted.size(), 3);
        QCOMPARE(posted[0].value(QStringLiteral("type")).toString(),
                 QStringLiteral("Wrenlark.App.launched"));
        QCOMPARE(posted[1].value(QStringLiteral("type")).toString(),
                 QStringLiteral("Wrenlark.Query.submitted"));
        // Defaults are evaluated for each signal, in order, off the caller's thread.
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(payloadValue(posted[i], QStringLiteral("Wrenlark.call")),
                     QString::number(i + 1));
            QVERIFY(!posted[i].value(QStringLiteral("id")).toString().isEmpty());
            QVERIFY(!posted[i].value(QStringLiteral("timestamp")).toString().isEmpty());
        }
        QVERIFY(!m_defaultsOnMainThread);
        QCOMPARE(payloadValue(posted[0], QStringLiteral("Wrenlark.currentProviderID")),
                 QStringLiteral("openai"));
        QCOMPARE(payloadValue(posted[1], QStringLiteral("Wrenlark.providerID")),
                 QStringLiteral("xai"));
        // A signal's own parameter wins over a default of the same name.
        QCOMPARE(payloadValue(posted[2], QStringLiteral("Wrenlark.currentProviderID")),
                 QStringLiteral("mine"));
        QVERIFY(!posted[1]
                     .value(QStringLiteral("payload"))
                     .toObject()
                     .contains(QStringLiteral("providerID")));

        // Delivered signals leave the queue; an empty queue leaves no file.
        QVERIFY(!QFile::exists(queuePath()));
    }

    void partialBatchGoesAfterTheFlushInterval()
    {
        TestHttpServer server;
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        AnalyticsDeliveryOptions shortWait = options(server.url(QString::fromLatin1(ingestPath)));
        shortWait.flushIntervalSeconds = 0.02;
        AnalyticsClient client(configuration(), shortWait);
        QSignalSpy delivered(&client, &AnalyticsClient::batchDelivered);
        client.send(QStringLiteral("Response.copied"));
        QVERIFY(delivered.wait());
        QCOMPARE(signalsOf(server.requests().first()).size(), 1);
    }

    void serverErrorKeepsTheBatchAndRetriesIt()
    {
        TestHttpServer server;
        server.enqueue("POST", ingestPath,
                       TestHttpServer::Response::body(503, "busy", "text/plain"));
        server.enqueue("POST", ingestPath,
                       TestHttpServer::Response::body(500, "oops", "text/plain"));
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        AnalyticsClient client(configuration(),
                               options(server.url(QString::fromLatin1(ingestPath))));
        QSignalSpy delivered(&client, &AnalyticsClient::batchDelivered);
        QSignalSpy failed(&client, &AnalyticsClient::deliveryFailed);

        for (int i = 0; i < 3; ++i)
            client.send(QStringLiteral("Panel.opened"));
        QVERIFY(delivered.wait());
        QCOMPARE(failed.size(), 2);
        QCOMPARE(server.requestCount(), 3);
        // The same signals each time, so nothing is lost or duplicated.
        QCOMPARE(server.requests()[2].jsonBody(), server.requests()[0].jsonBody());
        QVERIFY(!QFile::exists(queuePath()));
    }

    void rejectedBatchIsDroppedAndLogged()
    {
        TestHttpServer server;
        server.enqueue("POST", ingestPath,
                       TestHttpServer::Response::body(400, "bad", "text/plain"));
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        AnalyticsClient client(configuration(),
                               options(server.url(QString::fromLatin1(ingestPath))));
        QSignalSpy rejected(&client, &AnalyticsClient::batchRejected);
        QSignalSpy delivered(&client, &AnalyticsClient::batchDelivered);

        for (int i = 0; i < 3; ++i)
            client.send(QStringLiteral("Selection.replaceFailed"));
        QVERIFY(rejected.wait());
        QCOMPARE(rejected.first(), (QVariantList{400, 3}));
        QVERIFY(storedQueue().isEmpty());
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Analytics service rejected 3 signals with HTTP status 400; "
                           "they were dropped.")));

        for (int i = 0; i < 3; ++i)
            client.send(QStringLiteral("Response.copied"));
        QVERIFY(delivered.wait());
        QCOMPARE(server.requestCount(), 2);
        const QList<QJsonObject> second = signalsOf(server.requests()[1]);
        QCOMPARE(second.size(), 3);
        QCOMPARE(second[0].value(QStringLiteral("type")).toString(),
                 QStringLiteral("Wrenlark.Response.copied"));
    }

    void offlineSignalsAreKeptOnDiskAndSentOnTheNextRun()
    {
        QList<AnalyticsSignalRecord> queued;
        {
            AnalyticsDeliveryOptions offline = options(unreachableEndpoint());
            offline.shutdownFlushSeconds = 0.5;
            AnalyticsClient client(configuration(), offline);
            QSignalSpy failed(&client, &AnalyticsClient::deliveryFailed);
            for (int i = 0; i < 4; ++i)
                client.send(QStringLiteral("Query.submitted"),
                            {{QStringLiteral("n"), QString::number(i)}});
            QVERIFY(failed.wait());
            client.shutdown();
            client.send(QStringLiteral("After.shutdown")); // dropped, not queued
            queued = storedQueue();
        }
        QCOMPARE(queued.size(), 4);
        QCOMPARE(queued.first().payload.value(QStringLiteral("Wrenlark.n")), QStringLiteral("0"));
        QCOMPARE(queued.last().type, QStringLiteral("Wrenlark.Query.submitted"));
        struct stat status
        {
        };
        QCOMPARE(::stat(QFile::encodeName(queuePath()).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, mode_t(0600));

        TestHttpServer server;
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        AnalyticsDeliveryOptions online = options(server.url(QString::fromLatin1(ingestPath)));
        online.flushIntervalSeconds = 0.02;
        AnalyticsClient nextRun(configuration(), online);
        QSignalSpy delivered(&nextRun, &AnalyticsClient::batchDelivered);
        QTRY_VERIFY(storedQueue().isEmpty());
        QCOMPARE(server.requestCount(), 2); // a batch of three, then the rest
        QStringList sentIDs;
        for (const auto &request : server.requests()) {
            for (const QJsonObject &signal : signalsOf(request))
                sentIDs.append(signal.value(QStringLiteral("id")).toString());
        }
        QStringList queuedIDs;
        for (const auto &record : queued)
            queuedIDs.append(record.id);
        QCOMPARE(sentIDs, queuedIDs);
    }

    void queueIsBoundedAndDropsTheOldest()
    {
        AnalyticsDeliveryOptions offline = options(unreachableEndpoint());
        offline.maxQueuedSignals = 3;
        offline.batchSize = 100;
        offline.shutdownFlushSeconds = 0.5;
        {
            AnalyticsClient client(configuration(), offline);
            for (int i = 0; i < 5; ++i)
                client.send(QStringLiteral("Panel.opened"),
                            {{QStringLiteral("n"), QString::number(i)}});
        } // destruction shuts down after handling every signal sent
        QStringList kept;
        for (const auto &record : storedQueue())
            kept.append(record.payload.value(QStringLiteral("Wrenlark.n")));
        QCOMPARE(kept,
                 (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("Analytics queue is full (3 signals)")));

        // A queue file left by a run with a larger bound is cut down on loading.
        offline.maxQueuedSignals = 2;
        AnalyticsSignalQueue smaller(queuePath(), offline.maxQueuedSignals);
        smaller.load();
        QCOMPARE(smaller.size(), 2);
        QCOMPARE(smaller.records().first().payload.value(QStringLiteral("Wrenlark.n")),
                 QStringLiteral("3"));
    }

    void withoutEndpointNothingIsSentOrKept()
    {
        TestHttpServer server;
        server.setDefault("*", "/", TestHttpServer::Response::json(200, {}));
        QSignalSpy *recorded = nullptr;
        {
            AnalyticsClient client(configuration(), options(QUrl()));
            recorded = new QSignalSpy(&client, &AnalyticsClient::signalRecorded);
            for (int i = 0; i < 10; ++i)
                client.send(QStringLiteral("App.launched"));
            client.shutdown();
            QTRY_COMPARE(recorded->size(), 10); // handled, with defaults, then let go
        }
        delete recorded;
        QCOMPARE(server.requestCount(), 0);
        QVERIFY(!QFile::exists(queuePath()));
        QCOMPARE(m_defaultParameterCalls.load(), 10);
    }

    void unreadableQueueFileIsReplacedNotFatal()
    {
        {
            QFile file(queuePath());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("{ not json");
        }
        TestHttpServer server;
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        AnalyticsClient client(configuration(),
                               options(server.url(QString::fromLatin1(ingestPath))));
        QSignalSpy delivered(&client, &AnalyticsClient::batchDelivered);
        for (int i = 0; i < 3; ++i)
            client.send(QStringLiteral("App.launched"));
        QVERIFY(delivered.wait());
        QCOMPARE(signalsOf(server.requests().first()).size(), 3);
        QVERIFY(TestSandbox::flushedLog().contains(QStringLiteral("is not a valid queue file")));
    }

    void shutdownDeliversWhatIsQueued()
    {
        // The server runs on a thread of its own: shutdown() blocks this one.
        QThread serverThread;
        auto *server = new TestHttpServer;
        server->setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        const QUrl endpoint = server->url(QString::fromLatin1(ingestPath));
        server->moveToThread(&serverThread);
        connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
        serverThread.start();

        AnalyticsClient client(configuration(), options(endpoint));
        client.send(QStringLiteral("UsageSession.ended"));
        client.send(QStringLiteral("App.launched"));
        client.shutdown();

        QList<TestHttpServer::RecordedRequest> requests;
        QMetaObject::invokeMethod(
            server, [&] { requests = server->requests(); }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(signalsOf(requests.first()).size(), 2);
        QVERIFY(!QFile::exists(queuePath()));
    }

    void shutdownGivesUpAtItsBoundAndKeepsTheQueue()
    {
        QThread serverThread;
        auto *server = new TestHttpServer;
        server->setDefault("POST", ingestPath, TestHttpServer::Response::silence());
        const QUrl endpoint = server->url(QString::fromLatin1(ingestPath));
        server->moveToThread(&serverThread);
        connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
        serverThread.start();

        AnalyticsDeliveryOptions bounded = options(endpoint);
        bounded.shutdownFlushSeconds = 0.1;
        {
            AnalyticsClient client(configuration(), bounded);
            client.send(QStringLiteral("App.launched"));
            client.shutdown();
        }
        serverThread.quit();
        serverThread.wait();
        QCOMPARE(storedQueue().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsClient)
#include "test_analyticsclient.moc"
