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
    // Items of the application's bundle identifier as service, in `backend`:
    // the desktop's secret store, which the composition root creates (tests
    // hand in a fake or a private daemon). Without a backend every operation
    // fails and is logged.
    explicit KeychainStore(std::shared_ptr<SecretStore> backend);
    KeychainStore(QString service, std::shared_ptr<SecretStore> backend);

    QString service() const { return m_service; }
    const std::shared_ptr<SecretStore> &backend() const { return m_backend; }

    std::optional<QString> read(const QString &account) const;
    void save(const QString &account, const QString &value) const;
    void deleteItem(const QString &account) const;

private:
    void logFailure(const char *operation, const QString &account,
                    const SecretStore::Result &result) const;

    QString m_service;
    std::shared_ptr<SecretStore> m_backend;
};
