#include "core/catalog/UserCatalogFile.h"

#include "core/support/ConfigurationFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

std::optional<UserCatalogFile> UserCatalogFile::open(const QString &path, QString *problem)
{
    problem->clear();
    UserCatalogFile file;
    file.m_path = path;
    QByteArray contents;
    const auto json = ConfigurationFile::detail::readUserFile(path, problem, &contents);
    if (!json) {
        if (!problem->isEmpty())
            return std::nullopt;
        file.m_document.insert(QStringLiteral("providers"), QJsonArray());
        return file;
    }
    const auto document = ConfigurationFile::parseObject(*json, problem);
    if (!document)
        return std::nullopt;
    if (!document->value(QStringLiteral("providers")).isArray()) {
        *problem = QStringLiteral("\"providers\" must be an array");
        return std::nullopt;
    }
    file.m_document = *document;
    return file;
}

bool UserCatalogFile::isKeyOptional(const QUrl &address)
{
    const QString host = address.host();
    return ConfigurationFile::isLoopbackHost(host) || ConfigurationFile::isPrivateNetworkHost(host);
}

void UserCatalogFile::putProvider(const QString &id, const QString &name, const QUrl &address,
                                  const QStringList &models)
{
    removeProvider(id);
    QJsonArray modelEntries;
    for (const QString &model : models)
        modelEntries.append(QJsonObject{{QStringLiteral("id"), model}});
    QJsonObject entry{
        {QStringLiteral("id"), id},
        {QStringLiteral("name"), name},
        {QStringLiteral("endpoint"), address.toString() + QStringLiteral("/chat/completions")},
        {QStringLiteral("models"), modelEntries},
    };
    if (isKeyOptional(address))
        entry.insert(QStringLiteral("keyOptional"), true);
    QJsonArray providers = m_document.value(QStringLiteral("providers")).toArray();
    providers.append(entry);
    m_document.insert(QStringLiteral("providers"), providers);

    const QString host = address.host().toLower();
    if (address.scheme() == QLatin1String("http") && !ConfigurationFile::isLoopbackHost(host)) {
        QJsonArray hosts = m_document.value(QStringLiteral("plainHttpHosts")).toArray();
        if (!hosts.contains(host))
            hosts.append(host);
        m_document.insert(QStringLiteral("plainHttpHosts"), hosts);
    }
}

bool UserCatalogFile::removeProvider(const QString &id)
{
    QJsonArray providers = m_document.value(QStringLiteral("providers")).toArray();
    bool removed = false;
    for (qsizetype index = providers.size() - 1; index >= 0; --index) {
        if (providers.at(index).toObject().value(QStringLiteral("id")).toString() == id) {
            providers.removeAt(index);
            removed = true;
        }
    }
    m_document.insert(QStringLiteral("providers"), providers);
    return removed;
}

bool UserCatalogFile::save(QString *problem) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(m_document).toJson()) < 0 ||
        !file.commit()) {
        *problem = file.errorString();
        return false;
    }
    return true;
}

QString UserCatalogFile::identifierFor(const QString &name)
{
    static const QRegularExpression others(QStringLiteral("[^a-z0-9]+"));
    QString id = name.toLower().replace(others, QStringLiteral("-"));
    while (id.startsWith(u'-'))
        id.remove(0, 1);
    while (id.endsWith(u'-'))
        id.chop(1);
    return id;
}
