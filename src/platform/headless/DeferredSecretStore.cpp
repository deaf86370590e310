#include "platform/headless/DeferredSecretStore.h"

#include <QLibrary>

DeferredSecretStore::DeferredSecretStore(QString modulePath)
    : m_modulePath(std::move(modulePath))
{
}

// The module stays loaded: the store's code lives in it.
DeferredSecretStore::~DeferredSecretStore() = default;

SecretStore *DeferredSecretStore::store()
{
    std::call_once(m_loading, [this] {
        QLibrary library(m_modulePath);
        using Factory = SecretStore *(*)();
        const auto create = reinterpret_cast<Factory>(library.resolve(factoryName));
        if (create)
            m_store.reset(create());
        else
            m_problem = library.errorString();
    });
    return m_store.get();
}

SecretStore::Result DeferredSecretStore::unavailable() const
{
    return Result::failed(-1, QStringLiteral("The Secret Service client could not be loaded: ") +
                                  m_problem);
}

SecretStore::Result DeferredSecretStore::copyMatching(const QString &service,
                                                      const QString &account)
{
    SecretStore *secrets = store();
    return secrets ? secrets->copyMatching(service, account) : unavailable();
}

SecretStore::Result DeferredSecretStore::update(const QString &service, const QString &account,
                                                const QByteArray &payload)
{
    SecretStore *secrets = store();
    return secrets ? secrets->update(service, account, payload) : unavailable();
}

SecretStore::Result DeferredSecretStore::add(const QString &service, const QString &account,
                                             const QByteArray &payload)
{
    SecretStore *secrets = store();
    return secrets ? secrets->add(service, account, payload) : unavailable();
}

SecretStore::Result DeferredSecretStore::remove(const QString &service, const QString &account)
{
    SecretStore *secrets = store();
    return secrets ? secrets->remove(service, account) : unavailable();
}

bool DeferredSecretStore::isAvailable()
{
    SecretStore *secrets = store();
    return secrets && secrets->isAvailable();
}
