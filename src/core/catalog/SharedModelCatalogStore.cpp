#include "core/catalog/SharedModelCatalogStore.h"

#include "core/support/ConfigurationFile.h"
#include "core/support/FileLogger.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString builtInCatalogPath = QStringLiteral(":/model-catalog.json");

bool fail(QString *errorMessage, const QString &message)
{
    if (errorMessage)
        *errorMessage = message;
    return false;
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
    SharedModelCatalogStore store = builtIn();
    QFile userFile(userPath);
    if (!userFile.exists())
        return store;
    QString problem;
    if (!userFile.open(QIODevice::ReadOnly)) {
        problem = userFile.errorString();
    } else if (const auto userStore = fromJson(userFile.readAll(), &problem)) {
        problem = userStore->providerWithoutModels();
        if (problem.isEmpty()) {
            store.overrideWith(*userStore);
            return store;
        }
    }
    FileLogger::shared().error(
        QStringLiteral("Ignoring the model catalog %1: %2. Using the built-in catalog.")
            .arg(userPath, problem));
    return store;
}

SharedModelCatalogStore SharedModelCatalogStore::builtIn()
{
    QFile file(builtInCatalogPath);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Failed to load model-catalog.json from bundle");
    auto store = fromJson(file.readAll());
    if (!store)
        qFatal("Failed to load model-catalog.json from bundle");
    return *store;
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
