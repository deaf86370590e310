#include "support/AppStateHarness.h"

#include "core/analytics/AnalyticsClient.h"
#include "core/analytics/AppAnalytics.h"
#include "core/auth/OpenAIProPlusAuthManager.h"
#include "core/auth/OpenAIProPlusAuthSession.h"
#include "core/catalog/SharedModelCatalogStore.h"
#include "core/desktop/KeychainStore.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"
#include "core/settings/UserDefaults.h"
#include "support/TestHttpServer.h"
#include "support/TestSandbox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <algorithm>

namespace {

const QString prefix = QStringLiteral("Wrenlark.");
const QString markerSignal = QStringLiteral("Test.marker");

// One in-memory keychain for the whole test process: the shared sign-in
// manager keeps the backend it was created with.
std::shared_ptr<FakeSecretStore> processSecretStore()
{
    static const auto store = [] {
        auto secrets = std::make_shared<FakeSecretStore>();
        OpenAIProPlusAuthManager::createShared(secrets);
        return secrets;
    }();
    return store;
}

void forgetAllCredentials()
{
    const KeychainStore keychain(processSecretStore());
    for (const AIProviderPointer &provider : AIProviderRegistry::shared().providers())
        keychain.deleteItem(provider->apiKeyAccount());
    keychain.deleteItem(OpenAIProPlusAuthManager::shared().sessionAccount());
}

QString withoutPrefix(const QString &text)
{
    return text.startsWith(prefix) ? text.mid(prefix.size()) : text;
}

} // namespace

AppStateHarness::AppStateHarness(AppStateTimings timings, bool warmsConnectionOnOpen)
    : m_secrets(processSecretStore())
    , m_selection(std::make_shared<FakeSelectionService>())
    , m_replacement(std::make_shared<FakeReplacementService>())
    , m_applications(std::make_shared<FakeRunningApplications>(ownPid))
    , m_classifier(std::make_shared<FakeTargetAppClassifier>())
    , m_clipboard(std::make_shared<FakeTextClipboard>())
{
    // The harness deletes the settings file and writes a catalog: never in a
    // real home folder.
    if (qEnvironmentVariableIsEmpty("WRENLARK_TEST_SANDBOX"))
        qFatal("AppStateHarness runs only inside the CTest sandbox (run the test through ctest).");
    QFile::remove(UserDefaults::standardFilePath());
    forgetAllCredentials();
    m_logStart = TestSandbox::flushedLog().size();

    m_applications->addApplication(editorPid, QStringLiteral("org.xfce.mousepad"));
    m_applications->addApplication(browserPid, QStringLiteral("firefox"));
    m_classifier->setBrowserLike(browserPid);
    m_applications->setFrontmostPid(editorPid);

    AnalyticsDeliveryOptions delivery; // no endpoint: signals are recorded only
    delivery.queueFilePath =
        qEnvironmentVariable("WRENLARK_TEST_SANDBOX") + QStringLiteral("/analytics-queue.json");
    m_analytics = std::make_unique<AppAnalytics>(std::make_unique<SettingsStore>(m_secrets),
                                                 AIProviderRegistry::shared(), delivery);
    m_analytics->initialize();
    QObject::connect(m_analytics->client(), &AnalyticsClient::signalRecorded,
                     [this](const AnalyticsSignalRecord &record) {
                         RecordedSignal recorded{withoutPrefix(record.type), {}};
                         for (auto it = record.payload.cbegin(); it != record.payload.cend(); ++it)
                             recorded.parameters.insert(withoutPrefix(it.key()), it.value());
                         m_signals.append(recorded);
                     });

    AppStateDependencies dependencies;
    dependencies.desktop.selection = m_selection;
    dependencies.desktop.replacement = m_replacement;
    dependencies.desktop.classifier = m_classifier;
    dependencies.desktop.applications = m_applications;
    dependencies.desktop.clipboard = m_clipboard;
    dependencies.settingsStore = std::make_unique<SettingsStore>(m_secrets);
    dependencies.analytics = m_analytics.get();
    dependencies.providerRegistry = &AIProviderRegistry::shared();
    dependencies.instructionHistory = &m_instructionHistory;
    dependencies.timings = timings;
    dependencies.warmsConnectionOnOpen = warmsConnectionOnOpen;
    m_state = std::make_unique<AppState>(std::move(dependencies));
    m_state->setRequestClose([this] { ++m_closeRequests; });
}

AppStateHarness::~AppStateHarness()
{
    m_state.reset();
    m_analytics.reset();
}

void AppStateHarness::configureApiKeyProvider(const QString &providerID)
{
    SettingsStore settings(m_secrets);
    const AIProviderPointer provider = AIProviderRegistry::shared().provider(providerID);
    settings.saveApiKey(QStringLiteral("test-key"), *provider);
    settings.setModel(QStringLiteral("model-1"), *provider);
    settings.setCurrentProvider(*provider);
}

void AppStateHarness::configureSubscription()
{
    OpenAIProPlusAuthSession session;
    session.accessToken = QStringLiteral("access-token");
    session.refreshToken = QStringLiteral("refresh-token");
    session.expiresAt = double(QDateTime::currentSecsSinceEpoch() + 24 * 3600);
    session.accountID = QStringLiteral("account-1");
    const OpenAIProPlusAuthManager &manager = OpenAIProPlusAuthManager::shared();
    manager.keychain().save(manager.sessionAccount(), QString::fromUtf8(session.toJson()));
    configureApiKeyProvider(QStringLiteral("openai-pro-plus"));
}

bool AppStateHarness::open()
{
    m_state->resetStateForOpen();
    m_analytics->beginUsageSession(AnalyticsValue::keyboardShortcut, false);
    return m_state->startSelectionDetection();
}

void AppStateHarness::flushSignals()
{
    const QString id = QUuid::createUuid().toString();
    m_analytics->signal(markerSignal, {{QStringLiteral("id"), id}});
    const bool recorded = QTest::qWaitFor([&] {
        return std::any_of(m_signals.cbegin(), m_signals.cend(), [&](const RecordedSignal &s) {
            return s.name == markerSignal && s.parameters.value(QStringLiteral("id")) == id;
        });
    });
    QVERIFY2(recorded, "analytics did not record the marker signal");
}

QList<AppStateHarness::RecordedSignal> AppStateHarness::signalsNamed(const QString &name) const
{
    QList<RecordedSignal> found;
    for (const RecordedSignal &recorded : m_signals) {
        if (recorded.name == name)
            found.append(recorded);
    }
    return found;
}

bool AppStateHarness::waitForSignal(const QString &name, int count)
{
    return QTest::qWaitFor([&] { return signalsNamed(name).size() >= count; });
}

QString AppStateHarness::newLog() const
{
    return TestSandbox::flushedLog().mid(m_logStart);
}

SelectionContext AppStateHarness::selection(const QString &text,
                                            std::optional<SelectionRange> range, qint32 pid)
{
    SelectionContext context;
    context.selectedText = text;
    context.selectedRange = range;
    context.pid = pid;
    return context;
}

void writeSessionTestCatalog(const TestHttpServer &server)
{
    if (qEnvironmentVariableIsEmpty("WRENLARK_TEST_SANDBOX"))
        qFatal("writeSessionTestCatalog runs only inside the CTest sandbox.");
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
    QJsonArray providers;
    // Listed here, not taken from the registry, so no provider is built
    // before the catalog is in place.
    const QStringList providerIDs{
        QStringLiteral("openai-pro-plus"), QStringLiteral("openai"), QStringLiteral("anthropic"),
        QStringLiteral("google"),          QStringLiteral("xai"),    QStringLiteral("openrouter")};
    for (const QString &id : providerIDs) {
        const QString endpoint =
            id == QLatin1String("google")
                ? origin + QStringLiteral("/google/v1beta/models/{model}:generateContent")
                : origin + u'/' + id + QStringLiteral("/v1/chat");
        providers.append(QJsonObject{
            {QStringLiteral("id"), id},
            {QStringLiteral("endpoint"), endpoint},
            {QStringLiteral("models"),
             QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("model-1")}}}}});
    }
    const QString path = SharedModelCatalogStore::userCatalogPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("providers"), providers}}).toJson());
}
