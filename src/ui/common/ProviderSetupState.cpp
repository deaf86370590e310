#include "ui/common/ProviderSetupState.h"

ProviderSetupState::ProviderSetupState(const AIProviderRegistry &registry)
    : m_registry(registry)
{
}

void ProviderSetupState::startLoad(const QUuid &request)
{
    m_loadRequest = request;
    m_loaded = false;
    m_typedKeys.clear();
}

bool ProviderSetupState::apply(const QUuid &requestID, const ProviderCredentialSnapshot &snapshot)
{
    m_hasValidConfig = snapshot.hasValidConfig;
    m_connectionSummary = snapshot.connectionSummary;
    if (requestID != m_loadRequest)
        return false;
    for (const AIProviderPointer &provider : m_registry.providers()) {
        ProviderDraft &draft = m_drafts[provider->id()];
        if (!m_typedKeys.contains(provider->id()))
            draft.apiKeyDraft = snapshot.apiKeys.value(provider->id());
        showStoredModel(*provider, snapshot.storedModels.value(provider->id()).trimmed(), &draft);
    }
    m_loaded = true;
    return true;
}

void ProviderSetupState::showStoredModel(const AIProvider &provider, const QString &stored,
                                         ProviderDraft *draft)
{
    const QString model = stored.isEmpty() ? provider.defaultModel() : stored;
    if (stored.isEmpty() || provider.modelOptions().contains(model)) {
        draft->modelSelection = model;
        draft->customModel.clear();
    } else {
        draft->modelSelection = ProviderDraft::customModelSentinel;
        draft->customModel = stored;
    }
}

void ProviderSetupState::startSave(const QString &providerID, const QUuid &request)
{
    m_latestSave.insert(providerID, request);
}

bool ProviderSetupState::applySaved(const ProviderSaveResult &result)
{
    m_hasValidConfig.insert(result.providerID, result.isValid);
    return result.requestID == m_latestSave.value(result.providerID);
}

bool ProviderSetupState::hasValidConfig(const QString &providerID) const
{
    return m_hasValidConfig.value(providerID, false);
}

void ProviderSetupState::typeKey(const QString &providerID, const QString &text)
{
    m_drafts[providerID].apiKeyDraft = text;
    m_typedKeys.insert(providerID);
}
