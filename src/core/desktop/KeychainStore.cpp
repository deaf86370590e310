#include "core/desktop/KeychainStore.h"

#include "core/support/AppMetadata.h"
#include "core/support/Logging.h"
#include "core/support/SecretMemory.h"
#include "core/support/Utf8.h"

KeychainStore::KeychainStore(std::shared_ptr<SecretStore> backend)
    : KeychainStore(AppMetadata::bundleID(), std::move(backend))
{
}

KeychainStore::KeychainStore(QString service, std::shared_ptr<SecretStore> backend)
    : m_service(std::move(service))
    , m_backend(std::move(backend))
{
}

std::optional<QString> KeychainStore::read(const QString &account) const
{
    if (!m_backend) {
        logFailure("read", account,
                   SecretStore::Result::failed(-1, QStringLiteral("No secret store")));
        return std::nullopt;
    }
    auto result = m_backend->copyMatching(m_service, account);
    switch (result.status) {
    case SecretStore::Status::itemNotFound:
        return std::nullopt;
    case SecretStore::Status::success: {
        auto text = decodeUtf8Strictly(result.payload);
        SecretMemory::wipe(result.payload);
        return text;
    }
    case SecretStore::Status::failure:
        logFailure("read", account, result);
        return std::nullopt;
    }
    return std::nullopt;
}

void KeychainStore::save(const QString &account, const QString &value) const
{
    if (!m_backend) {
        logFailure("update", account,
                   SecretStore::Result::failed(-1, QStringLiteral("No secret store")));
        return;
    }
    const QByteArray payload = value.toUtf8();
    const auto updated = m_backend->update(m_service, account, payload);
    if (updated.status == SecretStore::Status::success)
        return;
    if (updated.status == SecretStore::Status::failure) {
        logFailure("update", account, updated);
        return;
    }
    const auto added = m_backend->add(m_service, account, payload);
    if (added.status != SecretStore::Status::success)
        logFailure("add", account, added);
}

void KeychainStore::deleteItem(const QString &account) const
{
    if (!m_backend) {
        logFailure("delete", account,
                   SecretStore::Result::failed(-1, QStringLiteral("No secret store")));
        return;
    }
    const auto result = m_backend->remove(m_service, account);
    if (result.status == SecretStore::Status::failure)
        logFailure("delete", account, result);
}

void KeychainStore::logFailure(const char *operation, const QString &account,
                               const SecretStore::Result &result) const
{
    const QString message =
        result.message.isEmpty() ? QStringLiteral("Unknown error") : result.message;
    qCWarning(lcKeychain).noquote()
        << QStringLiteral("Keychain %1 failed for service=%2 account=%3: %4 (%5).")
               .arg(QString::fromLatin1(operation), m_service, account)
               .arg(result.code)
               .arg(message);
}
