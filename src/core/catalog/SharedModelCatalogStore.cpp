#include "core/catalog/SharedModelCatalogStore.h"

#include "core/support/ConfigurationFile.h"
#include "core/support/Logging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace {

bool fail(QString *errorMessage, const QString &message)
{
    if (errorMessage)
        *errorMessage = message;
    return false;
}

// The hosts the file allows plain http to; only those of the user's own
// network count.
QStringList plainHttpHosts(const QByteArray &json)
{
    QStringList hosts;
    const auto document = ConfigurationFile::parseObject(json, nullptr);
    const QJsonArray listed =
        document.value_or(QJsonObject()).value(QStringLiteral("plainHttpHosts")).toArray();
    for (const QJsonValue &host : listed) {
        if (ConfigurationFile::isPrivateNetworkHost(host.toString()))
            hosts.append(host.toString().toLower());
    }
    return hosts;
}

// The providers of `builtIn` that an unusable file names: the identifiers of
// its entries when it parses, and any built-in identifier that appears in it
// as a JSON string (which is all a file that does not parse can tell).
QStringList namedProviders(const QByteArray &contents, const SharedModelCatalogStore &builtIn)
{
    const QHash<QString, QString> &known = builtIn.endpointByProviderID();
    QStringList named;
    const auto document = ConfigurationFile::parseObject(contents, nullptr);
    const QJsonArray entries =
        document.value_or(QJsonObject()).value(QStringLiteral("providers")).toArray();
    for (const QJsonValue &entry : entries) {
        const QString id = entry.toObject().value(QStringLiteral("id")).toString();
        if (known.contains(id) && !named.contains(id))
            named.append(id);
    }
    for (auto it = known.cbegin(); it != known.cend(); ++it) {
        if (!named.contains(it.key()) && contents.contains('"' + it.key().toUtf8() + '"'))
            named.append(it.key());
    }
    named.sort();
    return named;
}

} // namespace

QString SharedModelCatalogStore::userCatalogPath()
{
    return ConfigurationFile::userFilePath(QStringLiteral("model-catalog.json"));
}

std::optional<SharedModelCatalogStore> SharedModelCatalogStore::fromJson(const QByteArray &json,
                                                                         QString *errorMessage)
{
    const auto document = ConfigurationFile::parseObject(json, errorMessage);
    if (!document)
        return std::nullopt;
    const QJsonValue providers = document->value(QStringLiteral("providers"));
    if (!providers.isArray()) {
        fail(errorMessage, QStringLiteral("\"providers\" must be an array"));
        return std::nullopt;
    }

    SharedModelCatalogStore store;
    for (const QJsonValue &entryValue : providers.toArray()) {
        const QJsonObject entry = entryValue.toObject();
        const QJsonValue id = entry.value(QStringLiteral("id"));
        const QJsonValue endpoint = entry.value(QStringLiteral("endpoint"));
        const QJsonValue models = entry.value(QStringLiteral("models"));
        const QJsonValue docs = entry.value(QStringLiteral("apiKeyDocsURL"));
        if (!entryValue.isObject() || !id.isString() || !endpoint.isString() || !models.isArray() ||
            !(docs.isUndefined() || docs.isString())) {
            fail(errorMessage,
                 QStringLiteral("each provider needs a string \"id\" and \"endpoint\" and "
                                "an array \"models\""));
            return std::nullopt;
        }
        QStringList modelIDs;
        for (const QJsonValue &model : models.toArray()) {
            const QJsonValue modelID = model.toObject().value(QStringLiteral("id"));
            if (!modelID.isString()) {
                fail(errorMessage, QStringLiteral("each model needs a string \"id\" (provider %1)")
                                       .arg(id.toString()));
                return std::nullopt;
            }
            modelIDs.append(modelID.toString());
        }
        // A later entry with the same identifier replaces the earlier one's
        // values; a missing documentation link leaves an earlier one in place.
        if (!store.m_providerIDs.contains(id.toString()))
            store.m_providerIDs.append(id.toString());
        store.m_entryByProviderID.insert(id.toString(), entry);
        store.m_modelOptionsByProviderID.insert(id.toString(), modelIDs);
        store.m_endpointByProviderID.insert(id.toString(), endpoint.toString());
        if (docs.isString())
            store.m_apiKeyDocsURLByProviderID.insert(id.toString(), docs.toString());
    }
    return store;
}

const SharedModelCatalogStore &SharedModelCatalogStore::shared()
{
    static const SharedModelCatalogStore store = load(userCatalogPath());
    return store;
}

SharedModelCatalogStore SharedModelCatalogStore::load(const QString &userPath)
{
    const auto decodeUser = [](const QByteArray &json,
                               QString *problem) -> std::optional<SharedModelCatalogStore> {
        const auto userStore = fromJson(json, problem);
        if (!userStore)
            return std::nullopt;
        *problem = userStore->providerWithoutModels();
        if (problem->isEmpty())
            *problem = userStore->insecureEndpoint(plainHttpHosts(json));
        if (!problem->isEmpty())
            return std::nullopt;
        SharedModelCatalogStore store = builtIn();
        store.overrideWith(*userStore);
        return store;
    };
    const auto fallback = [&](const std::optional<ConfigurationFile::Refusal> &refusal) {
        SharedModelCatalogStore store = builtIn();
        if (!refusal)
            return store;
        const QStringList named = namedProviders(refusal->contents, store);
        if (named.isEmpty()) {
            qCWarning(lcCatalog).noquote()
                << QStringLiteral("Ignoring the model catalog %1: %2. Using the built-in catalog.")
                       .arg(userPath, refusal->problem);
            return store;
        }
        store.markUnreadable(named, QStringLiteral("Your model catalog %1 could not be read: %2.")
                                        .arg(userPath, refusal->problem));
        qCWarning(lcCatalog).noquote()
            << QStringLiteral("Ignoring the model catalog %1: %2. Requests to %3 fail until it is "
                              "fixed; the other providers use the built-in catalog.")
                   .arg(userPath, refusal->problem, named.join(QStringLiteral(", ")));
        return store;
    };
    return ConfigurationFile::loadFrom<SharedModelCatalogStore>(userPath, decodeUser, fallback);
}

SharedModelCatalogStore SharedModelCatalogStore::builtIn()
{
    return ConfigurationFile::loadBuiltIn<SharedModelCatalogStore>(
        QStringLiteral("model-catalog.json"),
        [](const QByteArray &json, QString *problem) { return fromJson(json, problem); });
}

// A user's catalog must not be able to stop the program later: a provider it
// lists has to offer at least one model.
QString SharedModelCatalogStore::providerWithoutModels() const
{
    for (auto entry = m_modelOptionsByProviderID.cbegin();
         entry != m_modelOptionsByProviderID.cend(); ++entry) {
        if (entry->isEmpty())
            return QStringLiteral("provider %1 lists no models").arg(entry.key());
    }
    return {};
}

void SharedModelCatalogStore::overrideWith(const SharedModelCatalogStore &other)
{
    for (const QString &id : other.m_providerIDs) {
        const QJsonObject entry = other.m_entryByProviderID.value(id);
        if (id.isEmpty() || m_entryByProviderID.contains(id) ||
            entry.value(QStringLiteral("name")).toString().trimmed().isEmpty())
            continue;
        m_providerIDs.append(id);
        m_userProviderIDs.append(id);
        m_entryByProviderID.insert(id, entry);
    }
    for (auto entry = other.m_endpointByProviderID.cbegin();
         entry != other.m_endpointByProviderID.cend(); ++entry) {
        m_endpointByProviderID.insert(entry.key(), entry.value());
        m_modelOptionsByProviderID.insert(entry.key(),
                                          other.m_modelOptionsByProviderID.value(entry.key()));
        // The key-help link belongs to the entry it came with.
        m_apiKeyDocsURLByProviderID.remove(entry.key());
    }
    for (auto entry = other.m_apiKeyDocsURLByProviderID.cbegin();
         entry != other.m_apiKeyDocsURLByProviderID.cend(); ++entry)
        m_apiKeyDocsURLByProviderID.insert(entry.key(), entry.value());
}

QString SharedModelCatalogStore::insecureEndpoint(const QStringList &plainHttpHosts) const
{
    for (auto entry = m_endpointByProviderID.cbegin(); entry != m_endpointByProviderID.cend();
         ++entry) {
        const QUrl url(entry.value());
        if (url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0)
            continue;
        const QString host = url.host().toLower();
        if (!ConfigurationFile::isLoopbackHost(host) && !plainHttpHosts.contains(host))
            return QStringLiteral("provider %1 uses plain http to %2, which is neither loopback "
                                  "nor a host of your own network named in \"plainHttpHosts\"")
                .arg(entry.key(), host);
    }
    return {};
}

void SharedModelCatalogStore::markUnreadable(const QStringList &providerIDs, const QString &message)
{
    for (const QString &id : providerIDs) {
        m_endpointByProviderID.remove(id);
        m_unreadableEntryMessages.insert(id, message);
    }
}

std::optional<QString>
SharedModelCatalogStore::unreadableEntryMessage(const QString &providerID) const
{
    const auto found = m_unreadableEntryMessages.find(providerID);
    if (found == m_unreadableEntryMessages.end())
        return std::nullopt;
    return *found;
}

QStringList SharedModelCatalogStore::modelOptions(const QString &providerID) const
{
    const QStringList models = m_modelOptionsByProviderID.value(providerID);
    if (models.isEmpty())
        qFatal("No models found for provider %s in model-catalog.json", qPrintable(providerID));
    return models;
}

QString SharedModelCatalogStore::endpoint(const QString &providerID) const
{
    const auto found = m_endpointByProviderID.find(providerID);
    if (found == m_endpointByProviderID.end())
        qFatal("No endpoint found for provider %s in model-catalog.json", qPrintable(providerID));
    return *found;
}
