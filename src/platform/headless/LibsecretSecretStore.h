#pragma once

#include "core/desktop/SecretStore.h"

#include <atomic>

// The Secret Service (gnome-keyring, KeePassXC, KWallet's bridge...) through
// libsecret. Items carry two string attributes, "service" and "account", and
// hold the payload bytes as a text/plain secret.
//
// Every call is bounded: a keyring that is locked makes the Secret Service
// show an unlock prompt and wait for it, possibly forever (nobody at the
// screen). Each call therefore runs libsecret's asynchronous API on a private
// GLib main context of the calling thread and stops waiting when the time-out
// passes; the failure then reads like any other store failure (the prompt
// stays up for the user). Safe to call from any thread, several at once.
class LibsecretSecretStore : public SecretStore
{
public:
    // Long enough for a Secret Service that is started on demand by D-Bus
    // activation, short enough that nobody mistakes the wait for a hang.
    static constexpr double defaultTimeoutSeconds = 3.0;

    explicit LibsecretSecretStore(double timeoutSeconds = defaultTimeoutSeconds);

    Result copyMatching(const QString &service, const QString &account) override;
    Result update(const QString &service, const QString &account,
                  const QByteArray &payload) override;
    Result add(const QString &service, const QString &account, const QByteArray &payload) override;
    Result remove(const QString &service, const QString &account) override;
    bool isAvailable() override;

    double timeoutSeconds() const { return m_timeoutSeconds; }

private:
    double m_timeoutSeconds;
    // Monotonic milliseconds until which calls fail at once (see the .cpp).
    std::atomic<qint64> m_unansweredUntil{0};
};
