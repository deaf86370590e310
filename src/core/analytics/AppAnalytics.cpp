#include "core/analytics/AppAnalytics.h"

#include "core/ai/AIClientError.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/settings/SettingsStore.h"

#include <QCoreApplication>
#include <QUuid>
#include <algorithm>

AppAnalytics &AppAnalytics::createShared(std::shared_ptr<SecretStore> secrets,
                                         const AIProviderRegistry &providerRegistry)
{
    static QMutex creation;
    static AppAnalytics *instance = nullptr;
    static bool madeWithoutStore = false;
    QMutexLocker lock(&creation);
    if (instance && secrets && madeWithoutStore)
        qFatal("Analytics were used before the application made them over its keyring");
    if (!instance) {
        madeWithoutStore = !secrets;
        instance = new AppAnalytics(std::move(secrets), providerRegistry);
        // A last chance to deliver and stop the worker if the application
        // did not shut analytics down itself.
        qAddPostRoutine([] { AppAnalytics::shared().shutdown(); });
    }
    return *instance;
}

AppAnalytics &AppAnalytics::shared()
{
    return createShared(nullptr, AIProviderRegistry::shared());
}

AppAnalytics::AppAnalytics(std::shared_ptr<SecretStore> secrets,
                           const AIProviderRegistry &providerRegistry)
    : m_settingsStore(std::make_unique<SettingsStore>(std::move(secrets)))
    , m_providerRegistry(providerRegistry)
    , m_useConfiguredEndpoint(true)
{
}

AppAnalytics::AppAnalytics(std::unique_ptr<SettingsStore> settingsStore,
                           const AIProviderRegistry &providerRegistry,
                           AnalyticsDeliveryOptions deliveryOptions)
    : m_settingsStore(std::move(settingsStore))
    , m_providerRegistry(providerRegistry)
    , m_deliveryOptions(std::move(deliveryOptions))
    , m_useConfiguredEndpoint(false)
{
}

AppAnalytics::~AppAnalytics()
{
    shutdown();
}

void AppAnalytics::initialize()
{
    if (m_isInitialized)
        return;
    AnalyticsClientConfiguration configuration(appID);
    configuration.signalNamePrefix = signalNamePrefix;
    configuration.parameterKeyPrefix = parameterKeyPrefix;
    // Holding `this` is safe: the destructor stops the client before any
    // member goes away. The usage session is not among these: signal() takes
    // it when the signal is sent (see send()).
    configuration.defaultParameters = [this] { return settingsParameters(); };
    configuration.deliveryHeld = [this] { return worksWithOwnServer(); };
    if (m_useConfiguredEndpoint)
        m_deliveryOptions.endpoint = AnalyticsDeliveryOptions::configuredEndpoint();
    m_client = std::make_unique<AnalyticsClient>(std::move(configuration), m_deliveryOptions);
    m_isInitialized = true;
}

void AppAnalytics::shutdown()
{
    if (m_client)
        m_client->shutdown();
}

void AppAnalytics::signal(const QString &signalName, const AnalyticsParameters &parameters)
{
    send(signalName, parameters, currentUsageSession());
}

// The usage session's parameters are taken now, not when the worker gets to
// the signal: by then the session may have ended or a new one begun, and a
// "UsageSession.ended" would carry the next session's identity.
void AppAnalytics::send(const QString &signalName, const AnalyticsParameters &parameters,
                        const std::optional<UsageSessionState> &usageSession)
{
    if (!m_client)
        return;
    AnalyticsParameters withSession = usageSessionParameters(usageSession);
    withSession.insert(parameters);
    m_client->send(signalName, withSession);
}

std::optional<AppAnalytics::UsageSessionState> AppAnalytics::currentUsageSession() const
{
    QMutexLocker locker(&m_lock);
    return m_usageSession;
}

void AppAnalytics::beginUsageSession(const QString &entryPoint, bool hasImage)
{
    endUsageSession(UsageSessionEndReason::reopened);

    UsageSessionState session;
    session.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    session.startedAt = QDateTime::currentDateTimeUtc();
    session.entryPoint = entryPoint;
    session.hasImage = hasImage;
    {
        QMutexLocker locker(&m_lock);
        m_usageSession = session;
    }
    send(AnalyticsSignal::usageSessionStarted,
         {{AnalyticsParameter::entryPoint, entryPoint},
          {AnalyticsParameter::hasImageContext, AnalyticsValue::boolean(hasImage)}},
         session);
}

void AppAnalytics::endUsageSession(UsageSessionEndReason reason)
{
    const std::optional<UsageSessionState> session = currentUsageSession();
    if (!session)
        return;

    const qint64 durationMilliseconds = std::max<qint64>(0, session->elapsed.elapsedMilliseconds());
    send(AnalyticsSignal::usageSessionEnded,
         {{AnalyticsParameter::endReason, analyticsName(reason)},
          {AnalyticsParameter::queryCount, QString::number(session->queryCount)},
          {AnalyticsParameter::durationMilliseconds, QString::number(durationMilliseconds)},
          {AnalyticsParameter::entryPoint, session->entryPoint},
          {AnalyticsParameter::hasImageContext, AnalyticsValue::boolean(session->hasImage)}},
         session);

    // Not sent under the lock; a session another thread began meanwhile survives.
    QMutexLocker locker(&m_lock);
    if (m_usageSession && m_usageSession->id == session->id)
        m_usageSession.reset();
}

void AppAnalytics::incrementUsageSessionQueryCount()
{
    QMutexLocker locker(&m_lock);
    if (m_usageSession)
        ++m_usageSession->queryCount;
}

void AppAnalytics::trackProviderConfigured(const QString &providerID, const QString &location,
                                           ProviderAuthenticationMode authenticationMode)
{
    signal(AnalyticsSignal::providerConfigured,
           {{AnalyticsParameter::providerID, providerID},
            {AnalyticsParameter::location, location},
            {AnalyticsParameter::authenticationMode, analyticsName(authenticationMode)}});
}

QString AppAnalytics::errorCategory(const AIClientError &error)
{
    switch (error.kind()) {
    case AIClientError::Kind::network:
        return QStringLiteral("url_") + QString::number(error.networkError());
    case AIClientError::Kind::requestFailed:
        return QStringLiteral("request_failed");
    case AIClientError::Kind::decodingFailed:
        return QStringLiteral("decoding_failed");
    case AIClientError::Kind::unknownProvider:
        return QStringLiteral("unknown_provider");
    case AIClientError::Kind::invalidResponse:
        return QStringLiteral("invalid_response");
    case AIClientError::Kind::emptyResponse:
        return QStringLiteral("empty_response");
    case AIClientError::Kind::streamInterrupted:
        // What broke the stream is what went wrong.
        return error.cause() ? errorCategory(*error.cause()) : QStringLiteral("other");
    case AIClientError::Kind::other:
        break;
    }
    return QStringLiteral("other");
}

AnalyticsParameters AppAnalytics::buildDefaultParameters() const
{
    AnalyticsParameters parameters = settingsParameters();
    parameters.insert(usageSessionParameters(currentUsageSession()));
    return parameters;
}

// A local server, or one on the user's own network, needs no key and may
// be all the network there is: nothing else leaves the machine meanwhile.
bool AppAnalytics::worksWithOwnServer() const
{
    QMutexLocker lock(&m_settingsLock);
    return m_settingsStore->currentProvider()->isKeyOptional();
}

AnalyticsParameters AppAnalytics::settingsParameters() const
{
    QMutexLocker locker(&m_settingsLock);
    const int count = configuredProviderCount();
    return {{AnalyticsParameter::currentProviderID, m_settingsStore->currentProvider()->id()},
            {AnalyticsParameter::configuredProviderCount, QString::number(count)},
            {AnalyticsParameter::hasConfiguredProvider, AnalyticsValue::boolean(count > 0)},
            {AnalyticsParameter::hasCompletedOnboarding,
             AnalyticsValue::boolean(m_settingsStore->didCompleteOnboarding())}};
}

AnalyticsParameters
AppAnalytics::usageSessionParameters(const std::optional<UsageSessionState> &usageSession)
{
    if (!usageSession)
        return {};
    return {{AnalyticsParameter::usageSessionID, usageSession->id},
            {AnalyticsParameter::usageSessionQueryCount, QString::number(usageSession->queryCount)},
            {AnalyticsParameter::usageSessionEntryPoint, usageSession->entryPoint}};
}

// A provider counts when it has a model and its credential: a stored
// subscription session, or an API key.
int AppAnalytics::configuredProviderCount() const
{
    const auto &providers = m_providerRegistry.providers();
    return int(std::count_if(providers.begin(), providers.end(),
                             [this](const AIProviderPointer &provider) {
                                 return m_settingsStore->hasValidConfig(*provider);
                             }));
}
