#include "core/analytics/AnalyticsClient.h"
#include "core/analytics/AnalyticsSignalQueue.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "support/FakeSecretStore.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <sys/stat.h>

namespace {

const QByteArray ingestPath = "/v1/signals";
using Request = TestHttpServer::RecordedRequest;

QList<QJsonObject> signalsOf(const Request &request)
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

QUrl unreachableEndpoint()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QUrl(QStringLiteral("http://127.0.0.1:%1/v1/signals").arg(probe.serverPort()));
}

// A server on a thread of its own, for tests in which shutdown() blocks this one.
class ThreadedServer
{
public:
    explicit ThreadedServer(const TestHttpServer::Response &response)
        : m_server(new TestHttpServer)
    {
        m_server->setDefault("POST", ingestPath, response);
        m_url = m_server->url(QString::fromLatin1(ingestPath));
        m_server->moveToThread(&m_thread);
        QObject::connect(&m_thread, &QThread::finished, m_server, &QObject::deleteLater);
        m_thread.start();
    }
    ~ThreadedServer() { stop(); }

    QUrl url() const { return m_url; }
    QList<Request> stop()
    {
        if (m_thread.isRunning()) {
            QMetaObject::invokeMethod(
                m_server, [this] { m_requests = m_server->requests(); },
                Qt::BlockingQueuedConnection);
            m_thread.quit();
            m_thread.wait();
        }
        return m_requests;
    }

private:
    QThread m_thread;
    TestHttpServer *m_server;
    QUrl m_url;
    QList<Request> m_requests;
};

} // namespace

class TestAnalyticsDelivery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::atomic<int> m_defaultCalls{0};
    std::atomic<bool> m_defaultsOnMainThread{false};

    QString queuePath() const { return m_dir->filePath(QStringLiteral("queue.json")); }

    AnalyticsClientConfiguration configuration()
    {
        AnalyticsClientConfiguration configuration(AppAnalytics::appID);
        configuration.signalNamePrefix = QStringLiteral("Wrenlark.");
        configuration.parameterKeyPrefix = QStringLiteral("Wrenlark.");
        configuration.defaultParameters = [this] {
            m_defaultsOnMainThread =
                m_defaultsOnMainThread || QThread::currentThread() == qApp->thread();
            return AnalyticsParameters{
                {QStringLiteral("currentProviderID"), QStringLiteral("openai")},
                {QStringLiteral("call"), QString::number(++m_defaultCalls)}};
        };
        return configuration;
    }

    AnalyticsDeliveryOptions options(const QUrl &endpoint)
    {
        AnalyticsDeliveryOptions options;
        options.endpoint = endpoint;
        options.queueFilePath = queuePath();
        options.batchSize = 3;
        options.flushIntervalSeconds = 3600; // only full batches go before shutdown
        options.initialRetryDelaySeconds = 0.02;
        options.maxRetryDelaySeconds = 0.05;
        options.shutdownFlushSeconds = 0.5;
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
                                                QStringLiteral("/q-XXXXXX"));
        m_defaultCalls = 0;
        m_defaultsOnMainThread = false;
    }

    void fullBatchCarriesPrefixesAndPerSignalDefaults()
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

        QCOMPARE(server.requestCount(), 1);
        const Request request = server.requests().first();
        QVERIFY(request.header("Content-Type").startsWith("application/json"));
        QCOMPARE(request.jsonBody().value(QStringLiteral("appID")).toString(), AppAnalytics::appID);
        const QList<QJsonObject> posted = signalsOf(request);
        QCOMPARE(posted.size(), 3);
        QCOMPARE(posted[1].value(QStringLiteral("type")).toString(),
                 QStringLiteral("Wrenlark.Query.submitted"));
        QCOMPARE(payloadValue(posted[1], QStringLiteral("Wrenlark.providerID")),
                 QStringLiteral("xai"));
        QCOMPARE(payloadValue(posted[2], QStringLiteral("Wrenlark.call")),
                 QStringLiteral("3")); // one call per signal
        QCOMPARE(payloadValue(posted[0], QStringLiteral("Wrenlark.currentProviderID")),
                 QStringLiteral("openai"));
        QCOMPARE(payloadValue(posted[2], QStringLiteral("Wrenlark.currentProviderID")),
                 QStringLiteral("mine"));
        QVERIFY(!m_defaultsOnMainThread);
        QVERIFY(!QFile::exists(queuePath()));
    }

    void serverErrorsAreRetriedAndRejectionsDropped()
    {
        TestHttpServer server;
        server.enqueue("POST", ingestPath,
                       TestHttpServer::Response::body(503, "busy", "text/plain"));
        server.enqueue("POST", ingestPath, TestHttpServer::Response::body(200, "{}"));
        server.enqueue("POST", ingestPath,
                       TestHttpServer::Response::body(400, "bad", "text/plain"));
        AnalyticsClient client(configuration(),
                               options(server.url(QString::fromLatin1(ingestPath))));
        QSignalSpy delivered(&client, &AnalyticsClient::batchDelivered);
        QSignalSpy rejected(&client, &AnalyticsClient::batchRejected);
        for (int i = 0; i < 3; ++i)
            client.send(QStringLiteral("Panel.opened"));
        QVERIFY(delivered.wait());
        QCOMPARE(server.requests()[1].jsonBody(),
                 server.requests()[0].jsonBody()); // the same batch again

        for (int i = 0; i < 3; ++i)
            client.send(QStringLiteral("Response.copied"));
        QVERIFY(rejected.wait());
        QCOMPARE(rejected.first(), (QVariantList{400, 3}));
        QVERIFY(storedQueue().isEmpty());
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Analytics service rejected 3 signals with HTTP status 400; "
                           "they were dropped.")));
    }

    void offlineSignalsWaitOnDiskForTheNextRun()
    {
        QStringList queuedIDs;
        {
            AnalyticsClient client(configuration(), options(unreachableEndpoint()));
            QSignalSpy failed(&client, &AnalyticsClient::deliveryFailed);
            for (int i = 0; i < 4; ++i)
                client.send(QStringLiteral("Query.submitted"));
            QVERIFY(failed.wait());
            client.shutdown();
            client.send(QStringLiteral("After.shutdown")); // dropped
            for (const auto &record : storedQueue())
                queuedIDs.append(record.id);
        }
        QCOMPARE(queuedIDs.size(), 4);
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
        QTRY_VERIFY(!QFile::exists(queuePath()));
        QStringList sentIDs;
        for (const auto &request : server.requests())
            for (const QJsonObject &signal : signalsOf(request))
                sentIDs.append(signal.value(QStringLiteral("id")).toString());
        QCOMPARE(sentIDs, queuedIDs);
    }

    // While the user works with a server of their own nothing is sent, not
    // even at shutdown; the signals wait for a run where that has ended.
    void heldDeliveryKeepsTheSignalsQueued()
    {
        TestHttpServer server;
        server.setDefault("POST", ingestPath, TestHttpServer::Response::json(200, {}));
        const AnalyticsDeliveryOptions online =
            options(server.url(QString::fromLatin1(ingestPath)));
        {
            AnalyticsClientConfiguration held = configuration();
            held.deliveryHeld = [] { return true; };
            AnalyticsClient client(held, online);
            for (int i = 0; i < 4; ++i)
                client.send(QStringLiteral("Query.submitted"));
            client.shutdown();
        }
        QCOMPARE(server.requestCount(), 0);
        QCOMPARE(storedQueue().size(), 4);

        AnalyticsClient nextRun(configuration(), online);
        QTRY_VERIFY(server.requestCount() > 0);
    }

    void queueKeepsTheNewestWithinItsBound()
    {
        AnalyticsDeliveryOptions offline = options(unreachableEndpoint());
        offline.maxQueuedSignals = 3;
        offline.batchSize = 100;
        {
            AnalyticsClient client(configuration(), offline);
            for (int i = 0; i < 5; ++i)
                client.send(QStringLiteral("Panel.opened"),
                            {{QStringLiteral("n"), QString::number(i)}});
        }
        QStringList kept;
        for (const auto &record : storedQueue())
            kept.append(record.payload.value(QStringLiteral("Wrenlark.n")));
        QCOMPARE(kept,
                 (QStringList{QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")}));
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("Analytics queue is full (3 signals)")));
    }

    void withoutEndpointNothingIsSentOrKept()
    {
        TestHttpServer server;
        server.setDefault("*", "/", TestHttpServer::Response::json(200, {}));
        {
            AnalyticsClient client(configuration(), options(QUrl()));
            for (int i = 0; i < 10; ++i)
                client.send(QStringLiteral("App.launched"));
        }
        QCOMPARE(m_defaultCalls.load(), 10); // handled, then let go
        QCOMPARE(server.requestCount(), 0);
        QVERIFY(!QFile::exists(queuePath()));
    }

    void shutdownDeliversWithinItsBound()
    {
        ThreadedServer answering(TestHttpServer::Response::json(200, {}));
        AnalyticsClient client(configuration(), options(answering.url()));
        client.send(QStringLiteral("App.launched"));
        client.shutdown();
        QCOMPARE(answering.stop().size(), 1);
        QVERIFY(!QFile::exists(queuePath()));

        ThreadedServer silent(TestHttpServer::Response::silence());
        AnalyticsClient stuck(configuration(), options(silent.url()));
        stuck.send(QStringLiteral("App.launched"));
        stuck.shutdown(); // gives up at the bound
        QCOMPARE(storedQueue().size(), 1);
    }

    // The facade as the application builds it: endpoint from the user's
    // configuration file, queue in the state folder, delivery at shutdown.
    void configuredFacadeDelivers()
    {
        const auto keys = std::make_shared<FakeSecretStore>();
        OpenAIProPlusAuthManager::createShared(keys);
        ThreadedServer server(TestHttpServer::Response::json(200, {}));
        const QString configPath = AnalyticsDeliveryOptions::userConfigurationPath();
        QDir().mkpath(QFileInfo(configPath).absolutePath());
        QFile config(configPath);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("{\"endpoint\": \"" + server.url().toEncoded() + "\"}");
        config.close();
        {
            AppAnalytics analytics(keys, AIProviderRegistry::shared());
            analytics.initialize();
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            analytics.endUsageSession(UsageSessionEndReason::appTerminated);
            analytics.shutdown();
        }
        const QList<Request> requests = server.stop();
        QCOMPARE(requests.size(), 1);
        const QList<QJsonObject> posted = signalsOf(requests.first());
        QCOMPARE(posted.size(), 2);
        QCOMPARE(posted[1].value(QStringLiteral("type")).toString(),
                 QStringLiteral("Wrenlark.UsageSession.ended"));
        QCOMPARE(payloadValue(posted[1], QStringLiteral("Wrenlark.endReason")),
                 QStringLiteral("app_terminated"));
        QCOMPARE(payloadValue(posted[1], QStringLiteral("Wrenlark.currentProviderID")),
                 QStringLiteral("openai-pro-plus"));
        QVERIFY(!QFile::exists(AnalyticsDeliveryOptions::defaultQueueFilePath()));
        QVERIFY(config.remove());
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsDelivery)
#include "test_analyticsdelivery.moc"
