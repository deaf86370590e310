// How the settings store resolves a configuration from keys and the
// subscription session, on the real Secret Service (the private gnome-keyring
// of tests/support/desktop-session), under a service name of this run alone.

#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/settings/SettingsStore.h"
#include "platform/headless/LibsecretSecretStore.h"
#include "support/SecretServiceTestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QTest>
#include <QUuid>

namespace {

// An API-key provider whose accounts and default model a test chooses.
class TestProvider : public AIProvider
{
public:
    TestProvider(const QString &id, const QString &defaultModel, QStringList legacyAccounts = {})
        : AIProvider(id, id.toUpper(), id + QStringLiteral("_api_key"),
                     AIRequestTimeoutRetryPolicy::none, std::move(legacyAccounts))
        , m_defaultModel(defaultModel)
    {
    }

    QString defaultModel() const override { return m_defaultModel; }
    ProviderAuthenticationMode authenticationMode() const override
    {
        return ProviderAuthenticationMode::apiKey;
    }
    AIReply *sendRequest(AIClient &, const AIRequestContext &,
                         AIPartialResponseHandler) const override
    {
        return AIReply::failed(AIClientError::invalidResponse());
    }

private:
    QString m_defaultModel;
};

} // namespace

class TestSettingsStoreKeys : public QObject
{
    Q_OBJECT

    const QString m_service =
        QStringLiteral("com.wrenlark.test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::shared_ptr<LibsecretSecretStore> m_backend = std::make_shared<LibsecretSecretStore>();
    KeychainStore m_keychain{m_service, m_backend};
    OpenAIProPlusAuthManager m_auth{KeychainStore(m_service, m_backend)};

    const AIProviderRegistry m_registry = AIProviderRegistry::builtIn(m_auth);

    AIProviderPointer builtIn(const char *id) const
    {
        return m_registry.provider(QString::fromLatin1(id));
    }

    std::unique_ptr<SettingsStore> makeStore() { return makeStore(m_registry); }
    std::unique_ptr<SettingsStore> makeStore(const AIProviderRegistry &registry)
    {
        return std::make_unique<SettingsStore>(m_keychain, UserDefaults::standardFilePath(),
                                               registry);
    }

    void clearKeychain()
    {
        QProcess::execute(QStringLiteral("secret-tool"),
                          {QStringLiteral("clear"), QStringLiteral("service"), m_service});
    }

    static OpenAIProPlusAuthSession session()
    {
        return {QStringLiteral("refresh"), QStringLiteral("access"), 4102444800.0, std::nullopt,
                QStringLiteral("someone@example.com")};
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const auto reason = SecretServiceTestEnvironment::unavailableReason())
            QSKIP(qPrintable(*reason));
    }

    void init()
    {
        QFile::remove(UserDefaults::standardFilePath());
        clearKeychain();
    }

    void cleanupTestCase()
    {
        if (!SecretServiceTestEnvironment::unavailableReason())
            clearKeychain();
    }

    void nothingConfiguredGivesNothingAndWritesNothing()
    {
        auto store = makeStore();
        QCOMPARE(store->loadConfig(), std::nullopt);
        for (const AIProviderPointer &provider : AIProviderRegistry::shared().providers())
            QVERIFY(!store->hasValidConfig(*provider));
        QVERIFY(!QFile::exists(UserDefaults::standardFilePath()));
    }

    void anotherConfiguredProviderBecomesCurrent()
    {
        auto store = makeStore();
        store->setCurrentProvider(*builtIn("openai"));
        store->saveApiKey(QStringLiteral("xai-key"), *builtIn("xai"));
        store->setModel(QStringLiteral("grok-4"), *builtIn("xai"));

        const AppConfig expected{
            QStringLiteral("xai"), QStringLiteral("xai-key"), QStringLiteral("grok-4"), QUrl(), {}};
        QCOMPARE(store->loadConfig(), expected);
        QCOMPARE(makeStore()->currentProvider()->id(), QStringLiteral("xai"));

        // Once the current provider is configured it stays current.
        store->saveApiKey(QStringLiteral("sk-openai"), *builtIn("openai"));
        QCOMPARE(store->loadConfig(), expected);
        store->setCurrentProvider(*builtIn("openai"));
        QCOMPARE(store->loadConfig(), (AppConfig{QStringLiteral("openai"),
                                                 QStringLiteral("sk-openai"),
                                                 QStringLiteral("gpt-5-mini"),
                                                 QUrl(),
                                                 {}}));

        // An emptied key removes the provider from the walk.
        store->saveApiKey(QString(), *builtIn("openai"));
        QVERIFY(!store->hasValidConfig(*builtIn("openai")));
        QCOMPARE(store->loadConfig(), expected);
    }

    void subscriptionCountsOnlyWithAReadableSession()
    {
        auto store = makeStore();
        const AIProvider &subscription = *builtIn("openai-pro-plus");
        store->saveApiKey(QStringLiteral("xai-key"), *builtIn("xai"));

        m_keychain.save(m_auth.sessionAccount(), QStringLiteral("{\"accessToken\":\"cut sh"));
        QVERIFY(!store->hasValidConfig(subscription));
        QCOMPARE(store->loadConfig(subscription), std::nullopt);
        QCOMPARE(store->loadConfig()->providerID, QStringLiteral("xai"));

        m_auth.save(session());
        store->setCurrentProvider(subscription);
        QVERIFY(store->hasValidConfig(subscription));
        const AppConfig expected{QStringLiteral("openai-pro-plus"),
                                 QStringLiteral("oauth-session"),
                                 QStringLiteral("gpt-5.4"),
                                 QUrl(),
                                 {}};
        QCOMPARE(store->loadConfig(), expected);

        // Its "key" is the session, which saving a key must not touch.
        store->saveApiKey(QString(), subscription);
        store->saveApiKey(QStringLiteral("typed by mistake"), subscription);
        QCOMPARE(m_auth.storedSession(), session());
    }

    void legacyKeysAreCopiedForwardAndRemovedWithTheKey()
    {
        const AIProviderRegistry registry(
            {std::make_shared<TestProvider>(
                QStringLiteral("old"), QStringLiteral("m"),
                QStringList{QStringLiteral("empty_account"), QStringLiteral("legacy_account")})},
            QStringLiteral("old"));
        auto store = makeStore(registry);
        const AIProvider &provider = *registry.providers().front();
        m_keychain.save(QStringLiteral("empty_account"), QString());
        m_keychain.save(QStringLiteral("legacy_account"), QStringLiteral("sk-legacy"));

        QCOMPARE(store->readApiKey(provider), QStringLiteral("sk-legacy"));
        QCOMPARE(m_keychain.read(QStringLiteral("old_api_key")), QStringLiteral("sk-legacy"));
        QCOMPARE(store->loadConfig(), (AppConfig{QStringLiteral("old"),
                                                 QStringLiteral("sk-legacy"),
                                                 QStringLiteral("m"),
                                                 QUrl(),
                                                 {}}));

        // Removing the key must not let the next read bring it back from the old account.
        store->saveApiKey(QString(), provider);
        QCOMPARE(store->readApiKey(provider), std::nullopt);
        QCOMPARE(store->loadConfig(), std::nullopt);
    }

    void providerWithoutAnyModelIsNeverUsable()
    {
        const AIProviderRegistry registry(
            {std::make_shared<TestProvider>(QStringLiteral("nomodel"), QString()),
             std::make_shared<TestProvider>(QStringLiteral("other"), QStringLiteral("m2"))},
            QStringLiteral("nomodel"));
        auto store = makeStore(registry);
        const AIProvider &noModel = *registry.providers().front();
        store->saveApiKey(QStringLiteral("k1"), noModel);
        store->saveApiKey(QStringLiteral("k2"), *registry.providers().back());

        QVERIFY(!store->hasValidConfig(noModel));
        QCOMPARE(store->loadConfig()->providerID, QStringLiteral("other"));

        store->setModel(QStringLiteral("chosen"), noModel);
        store->setCurrentProvider(noModel);
        QCOMPARE(store->loadConfig(), (AppConfig{QStringLiteral("nomodel"),
                                                 QStringLiteral("k1"),
                                                 QStringLiteral("chosen"),
                                                 QUrl(),
                                                 {}}));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStoreKeys)
#include "test_settingsstore_keys.moc"
