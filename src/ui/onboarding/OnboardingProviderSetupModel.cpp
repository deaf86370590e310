#include "ui/onboarding/OnboardingProviderSetupModel.h"

#include "core/analytics/AppAnalytics.h"
#include "core/settings/ApiKeyCheck.h"
#include "core/settings/SettingsStore.h"
#include "ui/common/SubscriptionSignIn.h"

#include <QCoreApplication>

namespace {

QString implausibleKeyMessage()
{
    return QCoreApplication::translate(
        "OnboardingProviderSetupModel",
        "This key contains blanks, line breaks or other control characters; paste the key alone. "
        "It was not stored.");
}

bool usesSignIn(const AIProvider &provider)
{
    return provider.authenticationMode() == ProviderAuthenticationMode::oauth;
}

} // namespace

OnboardingProviderSetupModel::OnboardingProviderSetupModel(const WindowDependencies &dependencies,
                                                           QObject *parent)
    : QObject(parent)
    , m_makeStore(dependencies.makeSettingsStore)
    , m_settingsStore(dependencies.makeSettingsStore())
    , m_registry(*dependencies.registry)
    , m_analytics(*dependencies.analytics)
    , m_credentials(
          new ProviderCredentials(dependencies.makeSettingsStore, *dependencies.registry, this))
    , m_browser(*dependencies.browser)
    , m_signIn(new SubscriptionSignIn(dependencies.registry->signInAccount(), m_browser, this))
    , m_state(*dependencies.registry)
{
    connect(m_credentials, &ProviderCredentials::loaded, this,
            &OnboardingProviderSetupModel::loaded);
    connect(m_credentials, &ProviderCredentials::saved, this, &OnboardingProviderSetupModel::saved);
    connect(m_credentials, &ProviderCredentials::sessionDisconnected, this,
            &OnboardingProviderSetupModel::refreshAccount);
    connect(m_signIn, &SubscriptionSignIn::progress, this,
            &OnboardingProviderSetupModel::signInProgress);
    connect(m_signIn, &SubscriptionSignIn::succeeded, this,
            &OnboardingProviderSetupModel::signInSucceeded);
    connect(m_signIn, &SubscriptionSignIn::failed, this,
            [this](const QString &message) { signInFailed(message); });

    const AIProviderPointer current = m_settingsStore->currentProvider();
    m_selectedProviderID = current->id();
    writeCurrentProvider(*current);
    reload();
}

OnboardingProviderSetupModel::~OnboardingProviderSetupModel() = default;

AIProviderPointer OnboardingProviderSetupModel::selectedProvider() const
{
    if (auto provider = m_registry.provider(m_selectedProviderID))
        return provider;
    return m_registry.defaultProvider();
}

QString OnboardingProviderSetupModel::draft(const AIProvider &provider) const
{
    return m_state.draft(provider.id()).apiKeyDraft;
}

bool OnboardingProviderSetupModel::isAuthenticating() const
{
    return m_signIn->isRunning();
}

QUrl OnboardingProviderSetupModel::verificationPage() const
{
    return m_signIn->verificationPage();
}

bool OnboardingProviderSetupModel::hasValidConfig(const AIProvider &provider) const
{
    return m_state.hasValidConfig(provider.id());
}

void OnboardingProviderSetupModel::reload()
{
    m_state.startLoad(m_credentials->load());
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::refreshAccount()
{
    m_credentials->load();
}

void OnboardingProviderSetupModel::loaded(const QUuid &requestID,
                                          const ProviderCredentialSnapshot &snapshot)
{
    m_state.apply(requestID, snapshot);
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::writeCurrentProvider(const AIProvider &provider)
{
    m_settingsStore->setCurrentProvider(provider);
}

void OnboardingProviderSetupModel::selectProvider(const QString &providerID)
{
    const AIProviderPointer provider = m_registry.provider(providerID);
    if (!provider)
        return;
    m_selectedProviderID = providerID;
    writeCurrentProvider(*provider);
    m_analytics.signal(
        QStringLiteral("Provider.selected"),
        {{QStringLiteral("providerID"), providerID}, {QStringLiteral("location"), location}});
    m_authStatusMessage.reset();
    m_keyMessage.clear();
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::updateApiKey(const QString &text)
{
    const QString id = selectedProvider()->id();
    m_state.typeKey(id, text);
    saveSelectedProvider();
}

void OnboardingProviderSetupModel::saveSelectedProvider()
{
    const AIProviderPointer provider = selectedProvider();
    writeCurrentProvider(*provider);
    if (usesSignIn(*provider)) {
        Q_EMIT changed();
        return;
    }
    // Until the stored key has been read, an untouched field holds nothing to store.
    if (!m_state.isLoaded() && !m_state.wasKeyTyped(provider->id()))
        return;
    const QString key = m_state.draft(provider->id()).apiKeyDraft.trimmed();
    if (!ApiKeyCheck::isPlausible(key)) {
        m_keyMessage = implausibleKeyMessage();
        Q_EMIT changed();
        return;
    }
    m_keyMessage.clear();
    ProviderSaveRequest request;
    request.providerID = provider->id();
    request.apiKey = key;
    m_state.startSave(provider->id(), m_credentials->save(request));
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::saved(const ProviderSaveResult &result)
{
    const AIProviderPointer provider = m_registry.provider(result.providerID);
    if (!provider)
        return;
    const bool latest = m_state.applySaved(result);
    if (!result.wasValid && result.isValid)
        m_analytics.trackProviderConfigured(result.providerID, location,
                                            provider->authenticationMode());
    if (latest && result.providerID == m_selectedProviderID) {
        const bool implausible =
            !ApiKeyCheck::isPlausible(m_state.draft(result.providerID).apiKeyDraft.trimmed());
        m_keyMessage = !result.stored
                           ? tr("The key could not be stored: the desktop's keyring (Secret "
                                "Service) is locked or not running. Unlock it, then press Return "
                                "in this field to try again.")
                       : implausible ? implausibleKeyMessage()
                                     : QString();
    }
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::connectSelectedProvider()
{
    if (!usesSignIn(*selectedProvider()))
        return;
    m_authStatusMessage.reset();
    m_deviceCode.clear();
    m_signIn->start();
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::cancelSignIn()
{
    m_signIn->cancel();
}

void OnboardingProviderSetupModel::signInProgress(const QString &text)
{
    m_authStatusMessage = text;
    const QString code = SubscriptionSignIn::deviceCode(text);
    if (!code.isEmpty())
        m_deviceCode = code;
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::signInSucceeded()
{
    m_authStatusMessage.reset();
    m_deviceCode.clear();
    const AIProviderPointer provider = selectedProvider();
    writeCurrentProvider(*provider);
    m_analytics.trackProviderConfigured(provider->id(), location, provider->authenticationMode());
    refreshAccount();
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::signInFailed(const QString &message)
{
    m_authStatusMessage = message;
    m_deviceCode.clear();
    Q_EMIT changed();
}

void OnboardingProviderSetupModel::disconnectSelectedProvider()
{
    const AIProviderPointer provider = selectedProvider();
    if (!usesSignIn(*provider))
        return;
    m_signIn->abandon();
    m_credentials->disconnectSession();
    m_analytics.signal(
        QStringLiteral("Provider.disconnected"),
        {{QStringLiteral("providerID"), provider->id()}, {QStringLiteral("location"), location}});
    m_authStatusMessage.reset();
    m_deviceCode.clear();
    Q_EMIT changed();
}
