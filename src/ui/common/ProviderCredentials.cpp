#include "ui/common/ProviderCredentials.h"

#include "core/auth/ProviderAccount.h"
#include "core/settings/SettingsKeys.h"
#include "core/settings/SettingsStore.h"

ProviderCredentials::ProviderCredentials(StoreFactory makeStore, const AIProviderRegistry &registry,
                                         QObject *parent)
    : QObject(parent)
    , m_makeStore(std::move(makeStore))
    , m_registry(registry)
    , m_account(registry.signInAccount())
{
}

QUuid ProviderCredentials::load()
{
    const QUuid requestID = QUuid::createUuid();
    m_queue.run<ProviderCredentialSnapshot>(
        this,
        [this]() {
            const std::unique_ptr<SettingsStore> store = m_makeStore();
            ProviderCredentialSnapshot snapshot;
            for (const AIProviderPointer &provider : m_registry.providers()) {
                snapshot.apiKeys.insert(provider->id(),
                                        store->readApiKey(*provider).value_or(QString()));
                snapshot.hasValidConfig.insert(provider->id(), store->hasValidConfig(*provider));
                snapshot.storedModels.insert(provider->id(),
                                             store->defaults()
                                                 .string(SettingsKeys::model(provider->id()))
                                                 .value_or(QString()));
            }
            snapshot.connectionSummary = m_account.connectionSummary();
            return snapshot;
        },
        [this, requestID](const ProviderCredentialSnapshot &snapshot) {
            Q_EMIT loaded(requestID, snapshot);
        });
    return requestID;
}

QUuid ProviderCredentials::save(const ProviderSaveRequest &request)
{
    const QUuid requestID = QUuid::createUuid();
    bool alreadyQueued = false;
    {
        QMutexLocker lock(&m_pendingLock);
        alreadyQueued = m_pending.contains(request.providerID);
        PendingSave folded{requestID, request};
        // A later request that leaves the key (or model) alone must not drop
        // the write of an earlier one still waiting.
        if (alreadyQueued) {
            const ProviderSaveRequest &earlier = m_pending.value(request.providerID).request;
            if (!folded.request.apiKey)
                folded.request.apiKey = earlier.apiKey;
            if (!folded.request.model)
                folded.request.model = earlier.model;
        }
        m_pending.insert(request.providerID, folded);
    }
    if (alreadyQueued)
        return requestID;
    const QString providerID = request.providerID;
    m_queue.run<ProviderSaveResult>(
        this, [this, providerID]() { return runSave(providerID); },
        [this](const ProviderSaveResult &result) { Q_EMIT saved(result); });
    return requestID;
}

ProviderSaveResult ProviderCredentials::runSave(const QString &providerID)
{
    PendingSave pending;
    {
        QMutexLocker lock(&m_pendingLock);
        pending = m_pending.take(providerID);
    }
    ProviderSaveResult result;
    result.requestID = pending.requestID;
    result.providerID = providerID;
    const AIProviderPointer provider = m_registry.provider(providerID);
    if (!provider)
        return result;
    const std::unique_ptr<SettingsStore> store = m_makeStore();
    result.wasValid = store->hasValidConfig(*provider);
    const std::optional<QString> &key = pending.request.apiKey;
    if (key && provider->authenticationMode() == ProviderAuthenticationMode::apiKey) {
        store->saveApiKey(*key, *provider);
        // The keychain only logs its failures; reading back tells whether the key is there.
        const std::optional<QString> stored = store->keychain().read(provider->apiKeyAccount());
        result.stored = key->isEmpty() ? !stored.has_value() : stored == *key;
    }
    if (pending.request.model)
        store->setModel(*pending.request.model, *provider);
    result.isValid = store->hasValidConfig(*provider);
    return result;
}

QUuid ProviderCredentials::disconnectSession()
{
    const QUuid requestID = QUuid::createUuid();
    m_queue.run<bool>(
        this,
        [this]() {
            m_account.disconnect();
            return true;
        },
        [this, requestID](bool) { Q_EMIT sessionDisconnected(requestID); });
    return requestID;
}
