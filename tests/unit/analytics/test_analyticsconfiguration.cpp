#include "core/analytics/AnalyticsDeliveryOptions.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

class TestAnalyticsConfiguration : public QObject
{
    Q_OBJECT

private:
    static void writeUserFile(const QByteArray &contents)
    {
        const QString path = AnalyticsDeliveryOptions::userConfigurationPath();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

private Q_SLOTS:
    void init() { QFile::remove(AnalyticsDeliveryOptions::userConfigurationPath()); }

    void builtInConfigurationSendsNothing()
    {
        QVERIFY(AnalyticsDeliveryOptions::configuredEndpoint().isEmpty());
        QVERIFY(AnalyticsDeliveryOptions{}.endpoint.isEmpty());
    }

    void filesLiveInTheSandbox()
    {
        const QString sandbox = qEnvironmentVariable("WRENLARK_TEST_SANDBOX");
        QCOMPARE(AnalyticsDeliveryOptions::userConfigurationPath(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") +
                     QStringLiteral("/Wrenlark/analytics.json"));
        QCOMPARE(AnalyticsDeliveryOptions::defaultQueueFilePath(),
                 qEnvironmentVariable("XDG_STATE_HOME") +
                     QStringLiteral("/Wrenlark/analytics-queue.json"));
        QVERIFY(AnalyticsDeliveryOptions::defaultQueueFilePath().startsWith(sandbox));
    }

    void endpoints_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("endpoint");
        QTest::newRow("empty") << QByteArray("{\"endpoint\": \"\"}") << true << QString();
        QTest::newRow("https") << QByteArray(
                                      "{\"endpoint\": \"https://ingest.example.com/v1/signals\"}")
                               << true << QStringLiteral("https://ingest.example.com/v1/signals");
        QTest::newRow("http to this machine")
            << QByteArray("{\"endpoint\": \"http://127.0.0.1:8080/s\"}") << true
            << QStringLiteral("http://127.0.0.1:8080/s");
        QTest::newRow("http to localhost") << QByteArray("{\"endpoint\": \"http://localhost/s\"}")
                                           << true << QStringLiteral("http://localhost/s");
        QTest::newRow("http to another machine")
            << QByteArray("{\"endpoint\": \"http://ingest.example.com/s\"}") << false << QString();
        QTest::newRow("other scheme")
            << QByteArray("{\"endpoint\": \"ftp://example.com/s\"}") << false << QString();
        QTest::newRow("no host") << QByteArray("{\"endpoint\": \"https:///s\"}") << false
                                 << QString();
        QTest::newRow("not a string") << QByteArray("{\"endpoint\": 42}") << false << QString();
        QTest::newRow("missing") << QByteArray("{}") << false << QString();
        QTest::newRow("not an object")
            << QByteArray("[\"https://example.com\"]") << false << QString();
        QTest::newRow("not JSON") << QByteArray("endpoint=https://example.com") << false
                                  << QString();
    }

    void endpoints()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        QFETCH(QString, endpoint);
        QString problem;
        const auto parsed = AnalyticsDeliveryOptions::endpointFromJson(json, &problem);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(parsed->toString(), endpoint);
        else
            QVERIFY(!problem.isEmpty());
    }

    void userFileReplacesTheBuiltInOne()
    {
        writeUserFile("{\"endpoint\": \"https://ingest.example.com/v1/signals\"}");
        QCOMPARE(AnalyticsDeliveryOptions::configuredEndpoint(),
                 QUrl(QStringLiteral("https://ingest.example.com/v1/signals")));
    }

    void invalidUserFileIsLoggedAndIgnored()
    {
        writeUserFile("{\"endpoint\": \"http://ingest.example.com/s\"}");
        QVERIFY(AnalyticsDeliveryOptions::configuredEndpoint().isEmpty());
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Ignoring the analytics configuration ") +
            AnalyticsDeliveryOptions::userConfigurationPath()));
    }
};

QTEST_GUILESS_MAIN(TestAnalyticsConfiguration)
#include "test_analyticsconfiguration.moc"
