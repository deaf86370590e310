#pragma once

#include "core/auth/SignInReply.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class ProviderAccount;
class UrlOpener;

// One window's running sign-in to the subscription account: starts the
// interactive sign-in (browser, or a device code when the callback port is
// taken), passes its progress texts on, and ends as succeeded, cancelled or
// failed with the text the user sees. At most one runs per owner; starting
// again cancels the earlier one first.
class SubscriptionSignIn : public QObject
{
    Q_OBJECT

public:
    static inline const QString deviceCodePrefix = QStringLiteral("OpenAI device login code: ");

    // Signs in to `account`, opening its pages with `browser`.
    SubscriptionSignIn(ProviderAccount &account, UrlOpener &browser, QObject *parent = nullptr);
    ~SubscriptionSignIn() override;

    bool isRunning() const { return m_reply != nullptr; }
    void start();
    // Ends a running sign-in as cancelled (nothing when none runs).
    void cancel();
    // Stops a running sign-in without reporting it (the account is being disconnected).
    void abandon();

    // The page where a device code is entered.
    QUrl verificationPage() const;
    // The code of a progress text "OpenAI device login code: <code>"; empty otherwise.
    static QString deviceCode(const QString &progressText);

Q_SIGNALS:
    void progress(const QString &text);
    void succeeded();
    // "Sign-in canceled." for a cancellation, the error's description otherwise.
    void failed(const QString &message, bool cancelled);
    // Running or not changed.
    void runningChanged(bool running);

private:
    void finish();

    ProviderAccount &m_account;
    UrlOpener &m_browser;
    QPointer<SignInReply> m_reply;
};
