#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Changes to the user's model catalog file ($XDG_CONFIG_HOME/Wrenlark/
// model-catalog.json) that keep every other entry and member in it: adding
// or replacing a provider of the user's own, and removing one. The file is
// written whole or not at all.
class UserCatalogFile
{
public:
    // The file as it stands (an empty catalog when there is none); nothing,
    // with the reason in `problem`, when it exists but cannot be used, so
    // that a broken file is never overwritten.
    static std::optional<UserCatalogFile> open(const QString &path, QString *problem);

    // A provider of the user's own: an OpenAI-compatible server at `address`
    // (such as "https://ai.example.com/v1") offering `models`. A server on
    // this computer or the user's own network may need no key. A plain-http
    // address of the user's network is added to "plainHttpHosts", which the
    // catalog requires for it. Replaces an entry with the same identifier.
    void putProvider(const QString &id, const QString &name, const QUrl &address,
                     const QStringList &models);
    // Whether such a provider needs no key: its server is on this computer
    // or the user's own network.
    static bool isKeyOptional(const QUrl &address);
    // False when the file names no provider `id`.
    bool removeProvider(const QString &id);
    bool save(QString *problem) const;

    // A provider identifier made of a name: "Home GPU" gives "home-gpu".
    static QString identifierFor(const QString &name);

private:
    UserCatalogFile() = default;

    QString m_path;
    QJsonObject m_document;
};
