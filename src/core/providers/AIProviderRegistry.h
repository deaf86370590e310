#pragma once

#include "core/providers/AIProvider.h"

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

class OpenAIProPlusAuthManager;

using AIProviderPointer = std::shared_ptr<const AIProvider>;

// The fixed list of providers and their lookup by identifier. The shared
// instance is built once and never changes.
class AIProviderRegistry
{
public:
    // The catalog's providers in its order (the user's own last), default
    // "openai-pro-plus"; the subscription signs in with the shared manager.
    static const AIProviderRegistry &shared();
    // The same providers; the subscription's account is `auth` (tests give
    // their own).
    static AIProviderRegistry builtIn(OpenAIProPlusAuthManager &auth);

    // Stops the program when two providers share an identifier.
    AIProviderRegistry(std::vector<AIProviderPointer> providers, QString defaultProviderID);

    const std::vector<AIProviderPointer> &providers() const { return m_providers; }
    const QHash<QString, AIProviderPointer> &providersByID() const { return m_providersByID; }
    QString defaultProviderID() const { return m_defaultProviderID; }

    // Exact, case-sensitive lookup; null when unknown.
    AIProviderPointer provider(const QString &id) const;
    // The provider of defaultProviderID, or the first one when that is not registered.
    AIProviderPointer defaultProvider() const;
    // The account of the first provider that signs in instead of taking a
    // key; stops the program when none does.
    ProviderAccount &signInAccount() const;

private:
    std::vector<AIProviderPointer> m_providers;
    QHash<QString, AIProviderPointer> m_providersByID;
    QString m_defaultProviderID;
};
