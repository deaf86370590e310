#pragma once

#include "core/desktop/SecretStore.h"

#include <QString>
#include <memory>
#include <optional>

// Short secret strings (API keys, the serialised sign-in session) in the
// desktop's secret store, one item per (service, account). Synchronous and
// silent: failures are logged and otherwise look like a missing item.
class KeychainStore
{
public:
    // The backend every store uses unless given another; set once at
    // start-up by the application (tests set a fake or a private daemon).
    static void setDefaultBackend(std::shared_ptr<SecretStore> backend);
    static std::shared_ptr<SecretStore> defaultBackend();

    // Uses the application's bundle identifier as service.
    KeychainStore();
    explicit KeychainStore(QString service,
                           std::shared_ptr<SecretStore> backend = defaultBackend());

    QString service() const { return m_service; }

    std::optional<QString> read(const QString &account) const;
    void save(const QString &account, const QString &value) const;
    void deleteItem(const QString &account) const;

private:
    void logFailure(const char *operation, const QString &account,
                    const SecretStore::Result &result) const;

    QString m_service;
    std::shared_ptr<SecretStore> m_backend;
};
