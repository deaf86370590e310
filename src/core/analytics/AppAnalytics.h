#pragma once

#include "core/analytics/AnalyticsClient.h"
#include "core/analytics/AnalyticsSignal.h"
#include "core/analytics/UsageSessionEndReason.h"
#include "core/providers/AIProvider.h"
#include "core/support/MonotonicClock.h"

#include <QDateTime>
#include <QMutex>
#include <QString>
#include <memory>
#include <optional>

class AIClientError;
class AIProviderRegistry;
class SecretStore;
class SettingsStore;

// The application's only door to usage analytics. Sends named signals with
// string parameters, adds the default parameters (current provider, how many
// providers are configured, onboarding, the open usage session) to every one,
// keeps track of usage sessions (one per opening of the command bar) and
// turns request errors into short categories.
//
// Signals go out through an AnalyticsClient whose worker thread does all the
// work; no caller ever waits for it.
class AppAnalytics
{
public:
    static inline const QString appID = QStringLiteral("3F2A9C41-7B6E-4D15-A8C3-52E07B1D94AF");
    static inline const QString signalNamePrefix = QStringLiteral("Wrenlark.");
    static inline const QString parameterKeyPrefix = QStringLiteral("Wrenlark.");

    // The process-wide facade, never replaced and never destroyed. The
    // composition root creates it over the desktop's secret store and the
    // provider registry before anything reaches it through shared(); the
    // first call creates it, later ones return it.
    static AppAnalytics &createShared(std::shared_ptr<SecretStore> secrets,
                                      const AIProviderRegistry &providerRegistry);
    static AppAnalytics &shared();

    // With a settings store of its own over `secrets`, `providerRegistry`
    // and the delivery the configuration asks for.
    AppAnalytics(std::shared_ptr<SecretStore> secrets, const AIProviderRegistry &providerRegistry);
    // Over other settings and delivery options (tests).
    AppAnalytics(std::unique_ptr<SettingsStore> settingsStore,
                 const AIProviderRegistry &providerRegistry,
                 AnalyticsDeliveryOptions deliveryOptions);
    // Shuts the delivery down first, so the default-parameter provider never
    // outlives the facade.
    ~AppAnalytics();
    AppAnalytics(const AppAnalytics &) = delete;
    AppAnalytics &operator=(const AppAnalytics &) = delete;

    // Starts delivery. Called once, on the main thread, before anything else;
    // later calls do nothing. Signals sent before it are dropped.
    void initialize();
    bool isInitialized() const { return m_isInitialized; }

    // Fire and forget, from any thread.
    void signal(const QString &signalName, const AnalyticsParameters &parameters = {});

    void beginUsageSession(const QString &entryPoint, bool hasImage);
    // Does nothing when no session is open.
    void endUsageSession(UsageSessionEndReason reason);
    void incrementUsageSessionQueryCount();

    // "Provider.configured" when a provider becomes usable.
    void trackProviderConfigured(const QString &providerID, const QString &location,
                                 ProviderAuthenticationMode authenticationMode);

    // "request_failed", "url_<code>", ... for "Query.failed". Cancellation is
    // not an error and never reaches this.
    static QString errorCategory(const AIClientError &error);

    // Evaluated by the delivery client for every signal, on its thread.
    AnalyticsParameters buildDefaultParameters() const;

    // Handles what was sent so far, delivers what it can within the client's
    // shutdown bound (the rest stays queued for the next run) and stops.
    // Signals sent afterwards are dropped. Called at termination, after the
    // usage session has ended.
    void shutdown();

    // The delivery client; null before initialize().
    AnalyticsClient *client() const { return m_client.get(); }

private:
    struct UsageSessionState
    {
        QString id;
        QDateTime startedAt;
        MonotonicStopwatch elapsed; // durations come from the monotonic clock
        int queryCount = 0;
        QString entryPoint;
        bool hasImage = false;
    };

    std::optional<UsageSessionState> currentUsageSession() const;
    void send(const QString &signalName, const AnalyticsParameters &parameters,
              const std::optional<UsageSessionState> &usageSession);
    static AnalyticsParameters
    usageSessionParameters(const std::optional<UsageSessionState> &usageSession);
    AnalyticsParameters settingsParameters() const;
    bool worksWithOwnServer() const;
    int configuredProviderCount() const;

    const std::unique_ptr<SettingsStore> m_settingsStore;
    const AIProviderRegistry &m_providerRegistry;
    AnalyticsDeliveryOptions m_deliveryOptions;
    bool m_useConfiguredEndpoint;
    std::unique_ptr<AnalyticsClient> m_client;
    mutable QMutex m_settingsLock; // the settings store is not shared between threads
    mutable QMutex m_lock;         // guards m_usageSession
    std::optional<UsageSessionState> m_usageSession;
    bool m_isInitialized = false;
};
