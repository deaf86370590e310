#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

class QObject;
class SignInReply;
class UrlOpener;

// The account of a provider the user signs in to instead of giving it a key:
// what the settings and the windows need of it, whichever service it is.
// The stored-account calls may be made from any thread; signIn() runs on
// the calling thread's event loop.
class ProviderAccount
{
public:
    using SignInProgress = std::function<void(const QString &text)>;

    virtual ~ProviderAccount() = default;

    // Whether a session is stored (it may still need a refresh to be used).
    virtual bool isConnected() const = 0;
    // The e-mail, else the account identifier, else "Connected"; nothing when
    // not connected.
    virtual std::optional<QString> connectionSummary() const = 0;
    // Forgets the stored session. The caller cancels its own sign-in first.
    virtual void disconnect() const = 0;

    // Signs in interactively through `browser` and stores the session.
    // `onProgress` receives the texts to show (a port fallback, a device
    // login code).
    virtual SignInReply *signIn(UrlOpener &browser, SignInProgress onProgress, QObject *parent) = 0;
    // Where a device login code is entered.
    virtual QUrl deviceCodePage() const = 0;
};
