#pragma once

#include "core/desktop/SecretStore.h"

#include <QHash>
#include <QMutex>
#include <QPair>

// An in-memory secret store. `failNext` makes the next calls fail with the
// given code, as a locked store would.
class FakeSecretStore : public SecretStore
{
public:
    Result copyMatching(const QString &service, const QString &account) override;
    Result update(const QString &service, const QString &account,
                  const QByteArray &payload) override;
    Result add(const QString &service, const QString &account, const QByteArray &payload) override;
    Result remove(const QString &service, const QString &account) override;
    bool isAvailable() override { return true; }

    void failWith(int code, const QString &message)
    {
        m_failureCode = code, m_failureMessage = message;
    }
    void stopFailing() { m_failureCode = 0; }
    int itemCount() const;
    QStringList calls() const;

private:
    bool failing(Result &result) const;

    mutable QMutex m_mutex;
    QHash<QPair<QString, QString>, QByteArray> m_items;
    QStringList m_calls;
    int m_failureCode = 0;
    QString m_failureMessage;
};
