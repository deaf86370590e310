#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

// Which models each provider offers, where its requests go and where its key
// can be obtained, from "model-catalog.json". The built-in catalog lives in
// the application's resources; a file of the same schema at
// $XDG_CONFIG_HOME/Wrenlark/model-catalog.json replaces it.
class SharedModelCatalogStore
{
public:
    // Built on first use from the user file when it is valid, otherwise from
    // the built-in catalog (an invalid user file is logged as an ERROR).
    static const SharedModelCatalogStore &shared();

    // Decodes a catalog; nothing when the bytes are not a valid catalog.
    static std::optional<SharedModelCatalogStore> fromJson(const QByteArray &json,
                                                           QString *errorMessage = nullptr);

    // Stops the program when the provider has no entry or no models.
    QStringList modelOptions(const QString &providerID) const;
    // Stops the program when the provider has no entry.
    QString endpoint(const QString &providerID) const;

    const QHash<QString, QStringList> &modelOptionsByProviderID() const { return m_modelOptionsByProviderID; }
    const QHash<QString, QString> &endpointByProviderID() const { return m_endpointByProviderID; }
    const QHash<QString, QString> &apiKeyDocsURLByProviderID() const { return m_apiKeyDocsURLByProviderID; }

    // Path of the user's override file.
    static QString userCatalogPath();

private:
    SharedModelCatalogStore() = default;

    QHash<QString, QStringList> m_modelOptionsByProviderID;
    QHash<QString, QString> m_endpointByProviderID;
    QHash<QString, QString> m_apiKeyDocsURLByProviderID;
};
