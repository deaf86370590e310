#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsKeys.h"

#include <QTest>

class TestAIProviderRegistry : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sharedRegistryListsTheProvidersInOrder()
    {
        const AIProviderRegistry &registry = AIProviderRegistry::shared();
        QStringList ids;
        for (const auto &provider : registry.providers())
            ids.append(provider->id());
        QCOMPARE(ids, (QStringList{"openai-pro-plus", "openai", "anthropic", "google", "xai",
                                   "openrouter", "local"}));
        QCOMPARE(registry.providersByID().size(), ids.size());
        QCOMPARE(registry.defaultProvider()->id(), QStringLiteral("openai-pro-plus"));
        QCOMPARE(registry.defaultProvider()->authenticationMode(),
                 ProviderAuthenticationMode::oauth);
    }

    // Stored settings and keyring items depend on these names.
    void storageNamesAndPolicies()
    {
        const AIProviderRegistry &registry = AIProviderRegistry::shared();
        const auto openRouter = registry.provider(QStringLiteral("openrouter"));
        QCOMPARE(openRouter->apiKeyAccount(), QStringLiteral("openrouter_api_key"));
        QCOMPARE(openRouter->legacyApiKeyAccounts(), QStringList{"openrouter_api_key"});
        QCOMPARE(registry.provider(QStringLiteral("openai"))->requestTimeoutRetryPolicy(),
                 AIRequestTimeoutRetryPolicy::providerManagedSingleHedge);
        const QHash<QString, QString> modelKeys{{"openai-pro-plus", "openai_pro_plus_model"},
                                                {"openai", "openai_model"},
                                                {"anthropic", "anthropic_model"},
                                                {"google", "google_model"},
                                                {"xai", "xai_model"},
                                                {"openrouter", "openrouter_model"},
                                                {"local", "local_model"}};
        for (const auto &provider : registry.providers()) {
            QCOMPARE(SettingsKeys::model(provider->id()), modelKeys.value(provider->id()));
            QVERIFY(provider->modelOptions().contains(provider->defaultModel()));
            if (provider->id() != QLatin1String("openai") && !provider->userChoosesServer())
                QCOMPARE(provider->requestTimeoutRetryPolicy(),
                         AIRequestTimeoutRetryPolicy::unsafeSingleHedge);
            if (provider->id() != QLatin1String("openrouter"))
                QVERIFY(provider->legacyApiKeyAccounts().isEmpty());
        }
    }

    void lookupIsExact()
    {
        const AIProviderRegistry &registry = AIProviderRegistry::shared();
        QVERIFY(registry.provider(QStringLiteral("openai")));
        QVERIFY(!registry.provider(QStringLiteral("OpenAI")));
        QVERIFY(!registry.provider(QStringLiteral("openai ")));
        QVERIFY(!registry.provider(QString()));
    }

    void unknownDefaultFallsBackToTheFirstProvider()
    {
        const AIProviderRegistry &shared = AIProviderRegistry::shared();
        const AIProviderRegistry registry(
            {shared.provider(QStringLiteral("xai")), shared.provider(QStringLiteral("openai"))},
            QStringLiteral("anthropic"));
        QCOMPARE(registry.defaultProvider()->id(), QStringLiteral("xai"));
    }

    void keyHelpLink()
    {
        const AIProviderRegistry &registry = AIProviderRegistry::shared();
        const auto xai = registry.provider(QStringLiteral("xai"));
        QCOMPARE(xai->apiKeyDocsTitle(), QStringLiteral("Get xAI API Key"));
        QCOMPARE(xai->apiKeyDocsURL(), QUrl(QStringLiteral("https://console.x.ai")));
        // The subscription has no key page in the catalog: no link.
        QVERIFY(!registry.provider(QStringLiteral("openai-pro-plus"))->apiKeyDocsURL());
    }
};

QTEST_GUILESS_MAIN(TestAIProviderRegistry)
#include "test_aiproviderregistry.moc"
