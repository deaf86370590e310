#pragma once

#include "core/desktop/SecretStore.h"

#include <QString>
#include <memory>
#include <mutex>

// The Secret Service store of the command line, loaded when a command first
// uses it: LibsecretSecretStore is built into a module of its own too
// (KeyringModule.cpp), because linking libsecret would have the dynamic loader
// map and relocate GLib, GIO and libgcrypt at every start, also of the
// commands that never read a key. Until then it costs nothing; when the module
// cannot be loaded, every call fails with the reason.
class DeferredSecretStore : public SecretStore
{
public:
    explicit DeferredSecretStore(QString modulePath);
    ~DeferredSecretStore() override;

    Result copyMatching(const QString &service, const QString &account) override;
    Result update(const QString &service, const QString &account,
                  const QByteArray &payload) override;
    Result add(const QString &service, const QString &account, const QByteArray &payload) override;
    Result remove(const QString &service, const QString &account) override;
    bool isAvailable() override;

    // The name of the function the module exports: `SecretStore *()`.
    static constexpr char factoryName[] = "wrenlark_create_secret_store";

private:
    SecretStore *store();
    Result unavailable() const;

    QString m_modulePath;
    std::once_flag m_loading;
    std::unique_ptr<SecretStore> m_store;
    QString m_problem;
};
