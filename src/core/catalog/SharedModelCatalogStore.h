#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

// Which models each provider offers, where its requests go and where its key
// can be obtained, from "model-catalog.json". The built-in catalog lives in
// the application's resources; a file of the same schema at
// $XDG_CONFIG_HOME/Wrenlark/model-catalog.json replaces it. A provider that
// file does not list keeps its built-in entry, so a partial file never leaves
// a provider without models or endpoint.
class SharedModelCatalogStore
{
public:
    // Built on first use by load(userCatalogPath()).
    static const SharedModelCatalogStore &shared();

    // The built-in catalog with the entries of the user file at `userPath`,
    // when that file exists and is valid. An unreadable or invalid file is
    // logged as an ERROR naming it, and the built-in catalog is used alone.
    // Stops the program when the built-in catalog cannot be loaded.
    static SharedModelCatalogStore load(const QString &userPath);

    // Decodes a catalog; nothing when the bytes are not a valid catalog.
    static std::optional<SharedModelCatalogStore> fromJson(const QByteArray &json,
                                                           QString *errorMessage = nullptr);

    // Stops the program when the provider has no entry or no models.
    QStringList modelOptions(const QString &providerID) const;
    // Stops the program when the provider has no entry.
    QString endpoint(const QString &providerID) const;

    const QHash<QString, QStringList> &modelOptionsByProviderID() const
    {
        return m_modelOptionsByProviderID;
    }
    const QHash<QString, QString> &endpointByProviderID() const { return m_endpointByProviderID; }
    const QHash<QString, QString> &apiKeyDocsURLByProviderID() const
    {
        return m_apiKeyDocsURLByProviderID;
    }

    // Path of the user's override file.
    static QString userCatalogPath();

private:
    SharedModelCatalogStore() = default;
    static SharedModelCatalogStore builtIn();
    // "provider <id> lists no models" for the first such entry, else empty.
    QString providerWithoutModels() const;
    // Every provider of `other` replaces this store's entry for it.
    void overrideWith(const SharedModelCatalogStore &other);

    QHash<QString, QStringList> m_modelOptionsByProviderID;
    QHash<QString, QString> m_endpointByProviderID;
    QHash<QString, QString> m_apiKeyDocsURLByProviderID;
};
