#include "core/analytics/AppAnalytics.h"
#include "core/desktop/KeychainStore.h"
#include "support/FakeSecretStore.h"
#include "support/TestHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTest>
#include <QThread>

// The facade as the application builds it: endpoint from the configuration
// file, the queue in the state folder, delivery at shutdown.
class TestAppAnalyticsDelivery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configuredFacadeDeliversAtShutdown()
    {
        KeychainStore::setDefaultBackend(std::make_shared<FakeSecretStore>());

        // shutdown() blocks this thread, so the server runs on its own.
        QThread serverThread;
        auto *server = new TestHttpServer;
        server->setDefault("POST", "/ingest", TestHttpServer::Response::json(200, {}));
        const QString configPath = AnalyticsDeliveryOptions::userConfigurationPath();
        QDir().mkpath(QFileInfo(configPath).absolutePath());
        QFile config(configPath);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral(R"({"endpoint": "%1"})")
                         .arg(server->url(QStringLiteral("/ingest")).toString())
                         .toUtf8());
        config.close();
        server->moveToThread(&serverThread);
        connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
        serverThread.start();

        {
            AppAnalytics analytics;
            analytics.initialize();
            analytics.signal(AnalyticsSignal::appLaunched);
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            analytics.incrementUsageSessionQueryCount();
            analytics.endUsageSession(UsageSessionEndReason::appTerminated);
            analytics.shutdown();
        }

        QList<TestHttpServer::RecordedRequest> requests;
        QMetaObject::invokeMethod(
            server, [&] { requests = server->requests(); }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();

        QCOMPARE(requests.size(), 1);
        const QJsonObject body = requests.first().jsonBody();
        QCOMPARE(body.value(QStringLiteral("appID")).toString(),
                 QStringLiteral("3F2A9C41-7B6E-4D15-A8C3-52E07B1D94AF"));
        const QJsonArray posted = body.value(QStringLiteral("signals")).toArray();
        QStringList types;
        for (const QJsonValue &signal : posted)
            types.append(signal.toObject().value(QStringLiteral("type")).toString());
        QCOMPARE(types, (QStringList{QStringLiteral("Wrenlark.App.launched"),
                                     QStringLiteral("Wrenlark.UsageSession.started"),
                                     QStringLiteral("Wrenlark.UsageSession.ended")}));
        const QJsonObject ended =
            posted.last().toObject().value(QStringLiteral("payload")).toObject();
        QCOMPARE(ended.value(QStringLiteral("Wrenlark.endReason")).toString(),
                 QStringLiteral("app_terminated"));
        QCOMPARE(ended.value(QStringLiteral("Wrenlark.queryCount")).toString(),
                 QStringLiteral("1"));
        QCOMPARE(ended.value(QStringLiteral("Wrenlark.currentProviderID")).toString(),
                 QStringLiteral("openai-pro-plus"));
        QCOMPARE(ended.value(QStringLiteral("Wrenlark.configuredProviderCount")).toString(),
                 QStringLiteral("0"));
        QVERIFY(!QFile::exists(AnalyticsDeliveryOptions::defaultQueueFilePath()));
    }
};

QTEST_GUILESS_MAIN(TestAppAnalyticsDelivery)
#include "test_appanalyticsdelivery.moc"
