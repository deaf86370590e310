#pragma once

#include "core/providers/AIProvider.h"

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

using AIProviderPointer = std::shared_ptr<const AIProvider>;

// The fixed list of providers and their lookup by identifier. The shared
// instance is built once and never changes.
class AIProviderRegistry
{
public:
    // The six built-in providers, default "openai-pro-plus".
    static const AIProviderRegistry &shared();

    // Stops the program when two providers share an identifier.
    AIProviderRegistry(std::vector<AIProviderPointer> providers, QString defaultProviderID);

    const std::vector<AIProviderPointer> &providers() const { return m_providers; }
    const QHash<QString, AIProviderPointer> &providersByID() const { return m_providersByID; }
    QString defaultProviderID() const { return m_defaultProviderID; }

    // Exact, case-sensitive lookup; null when unknown.
    AIProviderPointer provider(const QString &id) const;
    // The provider of defaultProviderID, or the first one when that is not registered.
    AIProviderPointer defaultProvider() const;

private:
    std::vector<AIProviderPointer> m_providers;
    QHash<QString, AIProviderPointer> m_providersByID;
    QString m_defaultProviderID;
};
