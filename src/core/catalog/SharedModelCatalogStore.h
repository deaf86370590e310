#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

// Which models each provider offers, where its requests go and where its key
// can be obtained, from "model-catalog.json". The built-in catalog lives in
// the application's resources; a file of the same schema at
// $XDG_CONFIG_HOME/Wrenlark/model-catalog.json replaces the entries it
// lists. A provider that file does not list keeps its built-in entry, so a
// partial file never leaves a provider without models or endpoint.
//
// A user file that cannot be used never sends a provider it names to the
// built-in endpoint instead: that provider keeps its built-in models (so its
// settings still read) but has no endpoint, and its requests fail with
// unreadableEntryMessage(). In the user file an endpoint may use plain http
// only to a loopback host, or to a host of the user's own network that the
// file names in "plainHttpHosts" (see ConfigurationFile::isPrivateNetworkHost).
class SharedModelCatalogStore
{
public:
    // Built on first use by load(userCatalogPath()).
    static const SharedModelCatalogStore &shared();

    // The built-in catalog with the entries of the user file at `userPath`,
    // when that file exists and is valid. An unreadable or invalid file is
    // logged as an ERROR naming it; the built-in catalog is used for the
    // providers it does not name (as far as its bytes tell), and those it
    // names are unreadable. Stops the program when the built-in catalog
    // cannot be loaded.
    static SharedModelCatalogStore load(const QString &userPath);

    // Decodes a catalog; nothing when the bytes are not a valid catalog.
    static std::optional<SharedModelCatalogStore> fromJson(const QByteArray &json,
                                                           QString *errorMessage = nullptr);

    // Stops the program when the provider has no entry or no models.
    QStringList modelOptions(const QString &providerID) const;
    // Stops the program when the provider has no entry.
    QString endpoint(const QString &providerID) const;

    // The built-in catalog's providers in its order, then those of the
    // user's own that the user's file adds (entries of a new identifier with
    // a "name").
    const QStringList &providerIDs() const { return m_providerIDs; }
    bool isUserProvider(const QString &providerID) const
    {
        return m_userProviderIDs.contains(providerID);
    }
    // A provider's entry as it stands in the catalog: what the provider is
    // (name, protocol, key account...). For a built-in provider the built-in
    // entry: a user's file changes where its requests go and which models it
    // offers, never that.
    QJsonObject entry(const QString &providerID) const
    {
        return m_entryByProviderID.value(providerID);
    }

    const QHash<QString, QStringList> &modelOptionsByProviderID() const
    {
        return m_modelOptionsByProviderID;
    }
    const QHash<QString, QString> &endpointByProviderID() const { return m_endpointByProviderID; }
    const QHash<QString, QString> &apiKeyDocsURLByProviderID() const
    {
        return m_apiKeyDocsURLByProviderID;
    }
    // "Your model catalog <path> could not be read: <problem>." for a
    // provider the user's file names but could not give; nothing otherwise.
    std::optional<QString> unreadableEntryMessage(const QString &providerID) const;

    // Path of the user's override file.
    static QString userCatalogPath();

private:
    SharedModelCatalogStore() = default;
    static SharedModelCatalogStore builtIn();
    // "provider <id> lists no models" for the first such entry, else empty.
    QString providerWithoutModels() const;
    // "provider <id>: ..." for the first endpoint that uses plain http to a
    // host neither loopback nor named in `plainHttpHosts`, else empty.
    QString insecureEndpoint(const QStringList &plainHttpHosts) const;
    // Every provider of `other` replaces this store's entry for it.
    void overrideWith(const SharedModelCatalogStore &other);
    // The providers named by an unusable file lose their endpoints.
    void markUnreadable(const QStringList &providerIDs, const QString &message);

    QStringList m_providerIDs;
    QStringList m_userProviderIDs;
    QHash<QString, QJsonObject> m_entryByProviderID;
    QHash<QString, QStringList> m_modelOptionsByProviderID;
    QHash<QString, QString> m_endpointByProviderID;
    QHash<QString, QString> m_apiKeyDocsURLByProviderID;
    QHash<QString, QString> m_unreadableEntryMessages;
};
