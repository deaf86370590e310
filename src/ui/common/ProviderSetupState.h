#pragma once

#include "core/providers/AIProviderRegistry.h"
#include "ui/common/ProviderCredentials.h"
#include "ui/common/ProviderDraft.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QUuid>
#include <optional>

// What a window knows of every provider's setup, as setup and Settings both
// keep it: the drafts its fields show, which providers are usable, the
// subscription's account, and whether the keyring has answered yet. The
// window asks the keyring (ProviderCredentials) and hands the answers here.
class ProviderSetupState
{
public:
    explicit ProviderSetupState(const AIProviderRegistry &registry);

    // The drafts wait for the answer to this read; what is typed from now
    // on wins over what it brings.
    void startLoad(const QUuid &request);
    // Any answer tells which providers are usable and the account; the
    // awaited one also fills the drafts. True for the awaited one.
    bool apply(const QUuid &requestID, const ProviderCredentialSnapshot &snapshot);
    void startSave(const QString &providerID, const QUuid &request);
    // Records whether the provider is usable now; true when this answers
    // the provider's latest save.
    bool applySaved(const ProviderSaveResult &result);

    bool isLoaded() const { return m_loaded; }
    bool hasValidConfig(const QString &providerID) const;
    const std::optional<QString> &connectionSummary() const { return m_connectionSummary; }
    ProviderDraft draft(const QString &providerID) const { return m_drafts.value(providerID); }
    // The draft to change; a changed key counts as typed.
    ProviderDraft &draftToEdit(const QString &providerID) { return m_drafts[providerID]; }
    void typeKey(const QString &providerID, const QString &text);
    bool wasKeyTyped(const QString &providerID) const { return m_typedKeys.contains(providerID); }

private:
    // The stored model shown as one of the provider's options, or as a model
    // of the user's own.
    static void showStoredModel(const AIProvider &provider, const QString &stored,
                                ProviderDraft *draft);

    const AIProviderRegistry &m_registry;
    QHash<QString, ProviderDraft> m_drafts;
    QSet<QString> m_typedKeys; // since the awaited read was asked for
    QHash<QString, bool> m_hasValidConfig;
    std::optional<QString> m_connectionSummary;
    QHash<QString, QUuid> m_latestSave;
    QUuid m_loadRequest;
    bool m_loaded = false;
};
