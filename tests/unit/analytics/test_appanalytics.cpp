#include "core/ai/AIClientError.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"
#include "support/FakeSecretStore.h"
#include "support/TestSandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QTest>
#include <functional>

namespace {

using Records = QList<AnalyticsSignalRecord>;

QString parameter(const AnalyticsSignalRecord &record, const QString &key)
{
    return record.payload.value(AppAnalytics::parameterKeyPrefix + key, QStringLiteral("<absent>"));
}

QStringList typesOf(const Records &records)
{
    QStringList types;
    for (const auto &record : records)
        types.append(record.type.mid(AppAnalytics::signalNamePrefix.size()));
    return types;
}

const AIProvider &provider(const QString &id)
{
    return *AIProviderRegistry::shared().provider(id);
}

// Keys live in memory, the shared sign-in manager's session too.
std::shared_ptr<SecretStore> keysInMemory()
{
    static const auto store = std::make_shared<FakeSecretStore>();
    return store;
}

std::unique_ptr<AppAnalytics> makeAnalytics()
{
    // No endpoint: records are made with their defaults, nothing is sent.
    return std::make_unique<AppAnalytics>(std::make_unique<SettingsStore>(keysInMemory()),
                                          AIProviderRegistry::shared(), AnalyticsDeliveryOptions{});
}

// Every signal `actions` sends through an initialized facade, in order.
Records recordedSignals(const std::function<void(AppAnalytics &)> &actions)
{
    auto analytics = makeAnalytics();
    analytics->initialize();
    Records records;
    QObject::connect(analytics->client(), &AnalyticsClient::signalRecorded,
                     [&records](const AnalyticsSignalRecord &record) { records.append(record); });
    actions(*analytics);
    analytics->shutdown(); // the worker has handled everything
    QCoreApplication::sendPostedEvents();
    return records;
}

} // namespace

class TestAppAnalytics : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { OpenAIProPlusAuthManager::createShared(keysInMemory()); }

    void init()
    {
        QFile::remove(UserDefaults::standardFilePath());
        const KeychainStore keychain(keysInMemory());
        for (const AIProviderPointer &each : AIProviderRegistry::shared().providers())
            keychain.deleteItem(each->apiKeyAccount());
        keychain.deleteItem(OpenAIProPlusAuthManager::shared().sessionAccount());
    }

    void errorCategories_data()
    {
        QTest::addColumn<AIClientError>("error");
        QTest::addColumn<QString>("category");
        const auto timeout = AIClientError::timedOut();
        const QString timeoutCategory =
            QStringLiteral("url_%1").arg(int(QNetworkReply::TimeoutError));
        QTest::newRow("request") << AIClientError::requestFailed(429)
                                 << QStringLiteral("request_failed");
        QTest::newRow("decoding") << AIClientError::decodingFailed()
                                  << QStringLiteral("decoding_failed");
        QTest::newRow("provider") << AIClientError::unknownProvider({})
                                  << QStringLiteral("unknown_provider");
        QTest::newRow("invalid") << AIClientError::invalidResponse()
                                 << QStringLiteral("invalid_response");
        QTest::newRow("empty") << AIClientError::emptyResponse()
                               << QStringLiteral("empty_response");
        QTest::newRow("time-out") << timeout << timeoutCategory;
        QTest::newRow("negative code")
            << AIClientError::network(-1001, {}) << QStringLiteral("url_-1001");
        QTest::newRow("interrupted")
            << AIClientError::streamInterrupted(QStringLiteral("p"), timeout) << timeoutCategory;
        QTest::newRow("other") << AIClientError::other(QStringLiteral("Sign-in expired."))
                               << QStringLiteral("other");
    }

    void errorCategories()
    {
        QFETCH(AIClientError, error);
        QFETCH(QString, category);
        QCOMPARE(AppAnalytics::errorCategory(error), category);
    }

    void defaultParametersCountUsableProviders()
    {
        auto analytics = makeAnalytics();
        const auto count = [&] {
            return analytics->buildDefaultParameters().value(
                QStringLiteral("configuredProviderCount"));
        };
        QCOMPARE(analytics->buildDefaultParameters(),
                 (AnalyticsParameters{
                     {QStringLiteral("currentProviderID"), QStringLiteral("openai-pro-plus")},
                     {QStringLiteral("configuredProviderCount"), QStringLiteral("0")},
                     {QStringLiteral("hasConfiguredProvider"), QStringLiteral("false")},
                     {QStringLiteral("hasCompletedOnboarding"), QStringLiteral("false")}}));

        SettingsStore settings(keysInMemory());
        settings.saveApiKey(QStringLiteral("sk-ant"), provider(QStringLiteral("anthropic")));
        settings.saveApiKey(QStringLiteral("xai-key"), provider(QStringLiteral("xai")));
        settings.setModel(QStringLiteral("  \n"),
                          provider(QStringLiteral("xai"))); // blank: default model
        settings.setCurrentProvider(provider(QStringLiteral("xai")));
        settings.setDidCompleteOnboarding(true);
        const AnalyticsParameters parameters = analytics->buildDefaultParameters();
        QCOMPARE(parameters.value(QStringLiteral("configuredProviderCount")), QStringLiteral("2"));
        QCOMPARE(parameters.value(QStringLiteral("hasConfiguredProvider")), QStringLiteral("true"));
        QCOMPARE(parameters.value(QStringLiteral("currentProviderID")), QStringLiteral("xai"));
        QCOMPARE(parameters.value(QStringLiteral("hasCompletedOnboarding")),
                 QStringLiteral("true"));

        // The subscription counts only with a session that decodes.
        KeychainStore(keysInMemory())
            .save(OpenAIProPlusAuthManager::shared().sessionAccount(), QStringLiteral("garbage"));
        QCOMPARE(count(), QStringLiteral("2"));
        OpenAIProPlusAuthManager::shared().save(
            {QStringLiteral("r"), QStringLiteral("a"), 4102444800, {}, {}});
        QCOMPARE(count(), QStringLiteral("3"));
    }

    void sessionCountsQueriesAndEndsOnce()
    {
        const Records records = recordedSignals([](AppAnalytics &analytics) {
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            for (int i = 0; i < 2; ++i) {
                analytics.incrementUsageSessionQueryCount();
                analytics.signal(AnalyticsSignal::querySubmitted);
            }
            analytics.endUsageSession(UsageSessionEndReason::escapeKey);
            analytics.endUsageSession(UsageSessionEndReason::outsideClick); // closing twice
            analytics.incrementUsageSessionQueryCount();                    // no session
            analytics.trackProviderConfigured(QStringLiteral("openai"), AnalyticsValue::preferences,
                                              ProviderAuthenticationMode::apiKey);
        });
        QCOMPARE(
            typesOf(records),
            (QStringList{QStringLiteral("UsageSession.started"), QStringLiteral("Query.submitted"),
                         QStringLiteral("Query.submitted"), QStringLiteral("UsageSession.ended"),
                         QStringLiteral("Provider.configured")}));
        const QString sessionID = parameter(records[0], QStringLiteral("usageSessionID"));
        QVERIFY(!QUuid::fromString(sessionID).isNull());
        QCOMPARE(parameter(records[0], QStringLiteral("entryPoint")),
                 QStringLiteral("keyboard_shortcut"));
        QCOMPARE(parameter(records[0], QStringLiteral("hasImageContext")), QStringLiteral("false"));
        QCOMPARE(parameter(records[0], QStringLiteral("configuredProviderCount")),
                 QStringLiteral("0"));
        QCOMPARE(parameter(records[1], QStringLiteral("usageSessionQueryCount")),
                 QStringLiteral("1"));
        QCOMPARE(parameter(records[2], QStringLiteral("usageSessionQueryCount")),
                 QStringLiteral("2"));
        QCOMPARE(parameter(records[2], QStringLiteral("usageSessionEntryPoint")),
                 QStringLiteral("keyboard_shortcut"));

        const auto &ended = records[3];
        QCOMPARE(parameter(ended, QStringLiteral("endReason")), QStringLiteral("escape_key"));
        QCOMPARE(parameter(ended, QStringLiteral("queryCount")), QStringLiteral("2"));
        QCOMPARE(parameter(ended, QStringLiteral("usageSessionID")), sessionID);
        bool isNumber = false;
        QVERIFY(parameter(ended, QStringLiteral("durationMilliseconds")).toLongLong(&isNumber) >=
                    0 &&
                isNumber);

        QCOMPARE(parameter(records[4], QStringLiteral("usageSessionID")),
                 QStringLiteral("<absent>"));
        QCOMPARE(parameter(records[4], QStringLiteral("authenticationMode")),
                 QStringLiteral("api_key"));
        QCOMPARE(parameter(records[4], QStringLiteral("location")), QStringLiteral("preferences"));
    }

    void reopeningEndsTheOpenSessionFirst()
    {
        const Records records = recordedSignals([](AppAnalytics &analytics) {
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            analytics.incrementUsageSessionQueryCount();
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, true);
            analytics.endUsageSession(UsageSessionEndReason::appTerminated);
        });
        QCOMPARE(typesOf(records), (QStringList{QStringLiteral("UsageSession.started"),
                                                QStringLiteral("UsageSession.ended"),
                                                QStringLiteral("UsageSession.started"),
                                                QStringLiteral("UsageSession.ended")}));
        QCOMPARE(parameter(records[1], QStringLiteral("endReason")), QStringLiteral("reopened"));
        QCOMPARE(parameter(records[1], QStringLiteral("queryCount")), QStringLiteral("1"));
        // Each end carries the session it ends, though the worker reaches it
        // after the next one has begun.
        QCOMPARE(parameter(records[1], QStringLiteral("usageSessionID")),
                 parameter(records[0], QStringLiteral("usageSessionID")));
        QCOMPARE(parameter(records[3], QStringLiteral("usageSessionID")),
                 parameter(records[2], QStringLiteral("usageSessionID")));
        QVERIFY(parameter(records[0], QStringLiteral("usageSessionID")) !=
                parameter(records[2], QStringLiteral("usageSessionID")));
        QCOMPARE(parameter(records[3], QStringLiteral("hasImageContext")), QStringLiteral("true"));
    }

    void endpointConfiguration()
    {
        QVERIFY(
            AnalyticsDeliveryOptions::configuredEndpoint().isEmpty()); // built in: nothing is sent
        const auto endpoint = [](const char *url) {
            return AnalyticsDeliveryOptions::endpointFromJson(QByteArray("{\"endpoint\": \"") +
                                                              url + "\"}");
        };
        QCOMPARE(endpoint("https://ingest.example.com/v1"),
                 QUrl(QStringLiteral("https://ingest.example.com/v1")));
        QCOMPARE(endpoint("http://127.0.0.1:8080/s"),
                 QUrl(QStringLiteral("http://127.0.0.1:8080/s")));
        QCOMPARE(endpoint("http://ingest.example.com/v1"),
                 std::nullopt); // clear text off this machine
        QCOMPARE(endpoint("ftp://example.com/v1"), std::nullopt);
        QCOMPARE(AnalyticsDeliveryOptions::endpointFromJson("{}"), std::nullopt);

        const QString userPath = AnalyticsDeliveryOptions::userConfigurationPath();
        QVERIFY(userPath.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME") +
                                    QStringLiteral("/Wrenlark/")));
        QDir().mkpath(QFileInfo(userPath).absolutePath());
        QFile file(userPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"endpoint\": \"http://ingest.example.com/v1\"}");
        file.close();
        QVERIFY(AnalyticsDeliveryOptions::configuredEndpoint().isEmpty());
        QVERIFY(TestSandbox::flushedLog().contains(
            QStringLiteral("[ERROR] Ignoring the analytics configuration ") + userPath));
        QVERIFY(file.remove());
    }
};

QTEST_GUILESS_MAIN(TestAppAnalytics)
#include "test_appanalytics.moc"
