#include "core/ai/AIClientError.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"
#include "support/FakeSecretStore.h"

#include <QFile>
#include <QNetworkReply>
#include <QTest>
#include <functional>

namespace {

QString parameter(const AnalyticsSignalRecord &record, const QString &key)
{
    return record.payload.value(AppAnalytics::parameterKeyPrefix + key);
}

bool hasParameter(const AnalyticsSignalRecord &record, const QString &key)
{
    return record.payload.contains(AppAnalytics::parameterKeyPrefix + key);
}

AIProviderPointer provider(const QString &id)
{
    return AIProviderRegistry::shared().provider(id);
}

} // namespace

class TestAppAnalytics : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<FakeSecretStore> m_secrets = std::make_shared<FakeSecretStore>();

    static std::unique_ptr<AppAnalytics> makeAnalytics()
    {
        AnalyticsDeliveryOptions noDelivery; // no endpoint: records are made, nothing is sent
        return std::make_unique<AppAnalytics>(std::make_unique<SettingsStore>(),
                                              AIProviderRegistry::shared(), noDelivery);
    }

    // Runs `actions` on an initialized facade and returns every signal it
    // recorded, in order, once the worker has handled them all.
    static QList<AnalyticsSignalRecord>
    recordedSignals(const std::function<void(AppAnalytics &)> &actions)
    {
        auto analytics = makeAnalytics();
        analytics->initialize();
        QList<AnalyticsSignalRecord> records;
        QObject::connect(
            analytics->client(), &AnalyticsClient::signalRecorded,
            [&records](const AnalyticsSignalRecord &record) { records.append(record); });
        actions(*analytics);
        analytics->shutdown();
        QCoreApplication::sendPostedEvents();
        return records;
    }

    static QStringList typesOf(const QList<AnalyticsSignalRecord> &records)
    {
        QStringList types;
        for (const auto &record : records)
            types.append(record.type);
        return types;
    }

private Q_SLOTS:
    void initTestCase() { KeychainStore::setDefaultBackend(m_secrets); }

    void init()
    {
        QFile::remove(UserDefaults::standardFilePath());
        const KeychainStore keychain;
        for (const AIProviderPointer &each : AIProviderRegistry::shared().providers()) {
            keychain.deleteItem(each->apiKeyAccount());
            for (const QString &legacy : each->legacyApiKeyAccounts())
                keychain.deleteItem(legacy);
        }
        keychain.deleteItem(OpenAIProPlusAuthManager::shared().sessionAccount());
    }

    void endReasonsAreSentAsTheirNames()
    {
        using R = UsageSessionEndReason;
        const QList<std::pair<R, const char *>> expected = {
            {R::escapeKey, "escape_key"},
            {R::outsideClick, "outside_click"},
            {R::toggleShortcut, "toggle_shortcut"},
            {R::replacedSelection, "replaced_selection"},
            {R::appTerminated, "app_terminated"},
            {R::reopened, "reopened"},
            {R::closed, "closed"},
            {R::screenSelectionShortcut, "screen_selection_shortcut"},
        };
        for (const auto &[reason, name] : expected)
            QCOMPARE(analyticsName(reason), QString::fromLatin1(name));
    }

    void errorCategories_data()
    {
        QTest::addColumn<AIClientError>("error");
        QTest::addColumn<QString>("category");
        const auto timeout = AIClientError::timedOut();
        QTest::newRow("request failed")
            << AIClientError::requestFailed(429, QStringLiteral("slow down"))
            << QStringLiteral("request_failed");
        QTest::newRow("decoding failed")
            << AIClientError::decodingFailed() << QStringLiteral("decoding_failed");
        QTest::newRow("unknown provider") << AIClientError::unknownProvider(QStringLiteral("x"))
                                          << QStringLiteral("unknown_provider");
        QTest::newRow("invalid response")
            << AIClientError::invalidResponse() << QStringLiteral("invalid_response");
        QTest::newRow("empty response")
            << AIClientError::emptyResponse() << QStringLiteral("empty_response");
        QTest::newRow("time-out") << timeout
                                  << QStringLiteral("url_%1").arg(int(QNetworkReply::TimeoutError));
        QTest::newRow("connection refused")
            << AIClientError::network(QNetworkReply::ConnectionRefusedError,
                                      QStringLiteral("refused"))
            << QStringLiteral("url_1");
        QTest::newRow("negative code keeps its sign")
            << AIClientError::network(-1001, QStringLiteral("x")) << QStringLiteral("url_-1001");
        QTest::newRow("interrupted stream counts as its cause")
            << AIClientError::streamInterrupted(QStringLiteral("partial"), timeout)
            << QStringLiteral("url_%1").arg(int(QNetworkReply::TimeoutError));
        QTest::newRow("interrupted by a server error")
            << AIClientError::streamInterrupted(QStringLiteral("p"),
                                                AIClientError::requestFailed(500))
            << QStringLiteral("request_failed");
        QTest::newRow("another component's failure")
            << AIClientError::other(QStringLiteral("Sign-in expired.")) << QStringLiteral("other");
    }

    void errorCategories()
    {
        QFETCH(AIClientError, error);
        QFETCH(QString, category);
        QCOMPARE(AppAnalytics::errorCategory(error), category);
    }

    void defaultParametersWithNothingConfigured()
    {
        const AnalyticsParameters parameters = makeAnalytics()->buildDefaultParameters();
        QCOMPARE(parameters,
                 (AnalyticsParameters{
                     {QStringLiteral("currentProviderID"),
                      AIProviderRegistry::shared().defaultProviderID()},
                     {QStringLiteral("configuredProviderCount"), QStringLiteral("0")},
                     {QStringLiteral("hasConfiguredProvider"), QStringLiteral("false")},
                     {QStringLiteral("hasCompletedOnboarding"), QStringLiteral("false")}}));
        QCOMPARE(AIProviderRegistry::shared().defaultProviderID(),
                 QStringLiteral("openai-pro-plus"));
    }

    void defaultParametersCountUsableProviders()
    {
        SettingsStore settings;
        auto analytics = makeAnalytics();
        settings.saveApiKey(QStringLiteral("sk-ant"), *provider(QStringLiteral("anthropic")));
        settings.saveApiKey(QStringLiteral("xai-key"), *provider(QStringLiteral("xai")));
        settings.setModel(QStringLiteral("  \n"),
                          *provider(QStringLiteral("xai"))); // blank: default model
        settings.setCurrentProvider(*provider(QStringLiteral("xai")));
        settings.setDidCompleteOnboarding(true);

        AnalyticsParameters parameters = analytics->buildDefaultParameters();
        QCOMPARE(parameters.value(QStringLiteral("configuredProviderCount")), QStringLiteral("2"));
        QCOMPARE(parameters.value(QStringLiteral("hasConfiguredProvider")), QStringLiteral("true"));
        QCOMPARE(parameters.value(QStringLiteral("currentProviderID")), QStringLiteral("xai"));
        QCOMPARE(parameters.value(QStringLiteral("hasCompletedOnboarding")),
                 QStringLiteral("true"));

        // The subscription counts only with a session that decodes.
        const KeychainStore keychain;
        keychain.save(OpenAIProPlusAuthManager::shared().sessionAccount(),
                      QStringLiteral("not a session"));
        QCOMPARE(
            analytics->buildDefaultParameters().value(QStringLiteral("configuredProviderCount")),
            QStringLiteral("2"));
        OpenAIProPlusAuthSession session;
        session.refreshToken = QStringLiteral("r");
        session.accessToken = QStringLiteral("a");
        session.expiresAt = 4102444800;
        OpenAIProPlusAuthManager::shared().save(session);
        QCOMPARE(
            analytics->buildDefaultParameters().value(QStringLiteral("configuredProviderCount")),
            QStringLiteral("3"));

        // A key of the empty string is no key.
        settings.saveApiKey(QString(), *provider(QStringLiteral("anthropic")));
        QCOMPARE(
            analytics->buildDefaultParameters().value(QStringLiteral("configuredProviderCount")),
            QStringLiteral("2"));
    }

    void everySignalCarriesPrefixesAndDefaults()
    {
        const auto records = recordedSignals([](AppAnalytics &analytics) {
            analytics.signal(AnalyticsSignal::appLaunched);
            analytics.trackProviderConfigured(QStringLiteral("openai-pro-plus"),
                                              AnalyticsValue::onboarding,
                                              ProviderAuthenticationMode::oauth);
        });
        QCOMPARE(typesOf(records), (QStringList{QStringLiteral("Wrenlark.App.launched"),
                                                QStringLiteral("Wrenlark.Provider.configured")}));
        QCOMPARE(parameter(records[0], QStringLiteral("configuredProviderCount")),
                 QStringLiteral("0"));
        QCOMPARE(parameter(records[0], QStringLiteral("hasCompletedOnboarding")),
                 QStringLiteral("false"));
        QVERIFY(!hasParameter(records[0], QStringLiteral("usageSessionID")));
        QCOMPARE(parameter(records[1], QStringLiteral("providerID")),
                 QStringLiteral("openai-pro-plus"));
        QCOMPARE(parameter(records[1], QStringLiteral("location")), QStringLiteral("onboarding"));
        QCOMPARE(parameter(records[1], QStringLiteral("authenticationMode")),
                 QStringLiteral("oauth"));
    }

    void sessionCountsQueriesAndEndsOnce()
    {
        const auto records = recordedSignals([](AppAnalytics &analytics) {
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            analytics.incrementUsageSessionQueryCount();
            analytics.signal(AnalyticsSignal::querySubmitted);
            analytics.incrementUsageSessionQueryCount();
            analytics.signal(AnalyticsSignal::querySubmitted);
            analytics.endUsageSession(UsageSessionEndReason::escapeKey);
            analytics.endUsageSession(UsageSessionEndReason::outsideClick); // closing twice
            analytics.incrementUsageSessionQueryCount();                    // no session: nothing
            analytics.signal(AnalyticsSignal::responseCopied);
        });
        QCOMPARE(typesOf(records), (QStringList{QStringLiteral("Wrenlark.UsageSession.started"),
                                                QStringLiteral("Wrenlark.Query.submitted"),
                                                QStringLiteral("Wrenlark.Query.submitted"),
                                                QStringLiteral("Wrenlark.UsageSession.ended"),
                                                QStringLiteral("Wrenlark.Response.copied")}));
        const auto &started = records[0];
        const QString sessionID = parameter(started, QStringLiteral("usageSessionID"));
        QVERIFY(!QUuid::fromString(sessionID).isNull());
        QCOMPARE(parameter(started, QStringLiteral("entryPoint")),
                 QStringLiteral("keyboard_shortcut"));
        QCOMPARE(parameter(started, QStringLiteral("hasImageContext")), QStringLiteral("false"));
        QCOMPARE(parameter(started, QStringLiteral("usageSessionQueryCount")), QStringLiteral("0"));
        QCOMPARE(parameter(started, QStringLiteral("usageSessionEntryPoint")),
                 QStringLiteral("keyboard_shortcut"));

        QCOMPARE(parameter(records[1], QStringLiteral("usageSessionQueryCount")),
                 QStringLiteral("1"));
        QCOMPARE(parameter(records[2], QStringLiteral("usageSessionQueryCount")),
                 QStringLiteral("2"));
        QCOMPARE(parameter(records[2], QStringLiteral("usageSessionID")), sessionID);

        const auto &ended = records[3];
        QCOMPARE(parameter(ended, QStringLiteral("endReason")), QStringLiteral("escape_key"));
        QCOMPARE(parameter(ended, QStringLiteral("queryCount")), QStringLiteral("2"));
        QCOMPARE(parameter(ended, QStringLiteral("entryPoint")),
                 QStringLiteral("keyboard_shortcut"));
        QCOMPARE(parameter(ended, QStringLiteral("hasImageContext")), QStringLiteral("false"));
        QCOMPARE(parameter(ended, QStringLiteral("usageSessionID")), sessionID);
        bool isNumber = false;
        QVERIFY(parameter(ended, QStringLiteral("durationMilliseconds")).toLongLong(&isNumber) >=
                0);
        QVERIFY(isNumber);

        QVERIFY(!hasParameter(records[4], QStringLiteral("usageSessionID")));
    }

    void reopeningEndsTheOpenSessionFirst()
    {
        const auto records = recordedSignals([](AppAnalytics &analytics) {
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            analytics.incrementUsageSessionQueryCount();
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, true);
            analytics.endUsageSession(UsageSessionEndReason::appTerminated);
        });
        QCOMPARE(typesOf(records), (QStringList{QStringLiteral("Wrenlark.UsageSession.started"),
                                                QStringLiteral("Wrenlark.UsageSession.ended"),
                                                QStringLiteral("Wrenlark.UsageSession.started"),
                                                QStringLiteral("Wrenlark.UsageSession.ended")}));
        const QString first = parameter(records[0], QStringLiteral("usageSessionID"));
        const QString second = parameter(records[2], QStringLiteral("usageSessionID"));
        QVERIFY(first != second);
        QCOMPARE(parameter(records[1], QStringLiteral("endReason")), QStringLiteral("reopened"));
        QCOMPARE(parameter(records[1], QStringLiteral("queryCount")), QStringLiteral("1"));
        // Each end belongs to the session it ends, though the worker handles
        // it after the next one has begun.
        QCOMPARE(parameter(records[1], QStringLiteral("usageSessionID")), first);
        QCOMPARE(parameter(records[2], QStringLiteral("hasImageContext")), QStringLiteral("true"));
        QCOMPARE(parameter(records[3], QStringLiteral("usageSessionID")), second);
        QCOMPARE(parameter(records[3], QStringLiteral("endReason")),
                 QStringLiteral("app_terminated"));
        QCOMPARE(parameter(records[3], QStringLiteral("queryCount")), QStringLiteral("0"));
    }

    void signalsFromOtherThreadsAreAllRecorded()
    {
        constexpr int threads = 4;
        constexpr int perThread = 50;
        const auto records = recordedSignals([](AppAnalytics &analytics) {
            analytics.beginUsageSession(AnalyticsValue::keyboardShortcut, false);
            std::vector<std::unique_ptr<QThread>> senders;
            for (int t = 0; t < threads; ++t) {
                senders.emplace_back(QThread::create([&analytics] {
                    for (int i = 0; i < perThread; ++i) {
                        analytics.signal(AnalyticsSignal::panelOpened);
                        analytics.incrementUsageSessionQueryCount();
                    }
                }));
                senders.back()->start();
            }
            for (auto &sender : senders)
                sender->wait();
            analytics.endUsageSession(UsageSessionEndReason::toggleShortcut);
        });
        QCOMPARE(records.size(), threads * perThread + 2);
        QCOMPARE(parameter(records.last(), QStringLiteral("queryCount")),
                 QString::number(threads * perThread));
    }

    void nothingIsSentBeforeInitialize()
    {
        auto analytics = makeAnalytics();
        analytics->signal(AnalyticsSignal::appLaunched);
        analytics->beginUsageSession(AnalyticsValue::keyboardShortcut, false);
        QVERIFY(analytics->client() == nullptr);
        analytics->initialize();
        AnalyticsClient *client = analytics->client();
        analytics->initialize(); // a second call changes nothing
        QCOMPARE(analytics->client(), client);
    }
};

QTEST_GUILESS_MAIN(TestAppAnalytics)
#include "test_appanalytics.moc"
