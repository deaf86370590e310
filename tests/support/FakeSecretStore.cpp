#include "support/FakeSecretStore.h"

#include <QStringList>

bool FakeSecretStore::failing(Result &result) const
{
    if (m_failureCode == 0)
        return false;
    result = Result::failed(m_failureCode, m_failureMessage);
    return true;
}

SecretStore::Result FakeSecretStore::copyMatching(const QString &service, const QString &account)
{
    QMutexLocker lock(&m_mutex);
    m_calls << QStringLiteral("read ") + account;
    Result result;
    if (failing(result))
        return result;
    const auto found = m_items.find({service, account});
    if (found == m_items.end())
        return Result::notFound();
    return Result::ok(*found);
}

SecretStore::Result FakeSecretStore::update(const QString &service, const QString &account,
                                            const QByteArray &payload)
{
    QMutexLocker lock(&m_mutex);
    m_calls << QStringLiteral("update ") + account;
    Result result;
    if (failing(result))
        return result;
    const auto found = m_items.find({service, account});
    if (found == m_items.end())
        return Result::notFound();
    *found = payload;
    return Result::ok();
}

SecretStore::Result FakeSecretStore::add(const QString &service, const QString &account,
                                         const QByteArray &payload)
{
    QMutexLocker lock(&m_mutex);
    m_calls << QStringLiteral("add ") + account;
    Result result;
    if (failing(result))
        return result;
    m_items.insert({service, account}, payload);
    return Result::ok();
}

SecretStore::Result FakeSecretStore::remove(const QString &service, const QString &account)
{
    QMutexLocker lock(&m_mutex);
    m_calls << QStringLiteral("delete ") + account;
    Result result;
    if (failing(result))
        return result;
    return m_items.remove({service, account}) ? Result::ok() : Result::notFound();
}

int FakeSecretStore::itemCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_items.size());
}

QStringList FakeSecretStore::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}
