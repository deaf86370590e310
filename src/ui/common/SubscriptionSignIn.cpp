#include "ui/common/SubscriptionSignIn.h"

#include "core/auth/ProviderAccount.h"

SubscriptionSignIn::SubscriptionSignIn(ProviderAccount &account, UrlOpener &browser,
                                       QObject *parent)
    : QObject(parent)
    , m_account(account)
    , m_browser(browser)
{
}

SubscriptionSignIn::~SubscriptionSignIn()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->cancel();
    }
}

void SubscriptionSignIn::start()
{
    // An earlier sign-in ends quietly: the new one takes its place.
    if (SignInReply *earlier = m_reply) {
        m_reply = nullptr;
        earlier->disconnect(this);
        earlier->cancel();
        earlier->deleteLater();
    }
    QPointer<SubscriptionSignIn> self(this);
    m_reply = m_account.signIn(
        m_browser,
        [self](const QString &text) {
            if (self)
                Q_EMIT self->progress(text);
        },
        this);
    connect(m_reply, &SignInReply::finished, this, &SubscriptionSignIn::finish);
    Q_EMIT runningChanged(true);
}

void SubscriptionSignIn::cancel()
{
    if (m_reply)
        m_reply->cancel(); // finish() follows from the event loop
}

void SubscriptionSignIn::abandon()
{
    SignInReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->cancel();
    reply->deleteLater();
    Q_EMIT runningChanged(false);
}

void SubscriptionSignIn::finish()
{
    SignInReply *reply = m_reply;
    if (!reply || sender() != reply)
        return;
    m_reply = nullptr;
    reply->deleteLater();
    Q_EMIT runningChanged(false);
    switch (reply->state()) {
    case SignInReply::State::succeeded:
        Q_EMIT succeeded();
        break;
    case SignInReply::State::cancelled:
        Q_EMIT failed(tr("Sign-in canceled."), true);
        break;
    default:
        Q_EMIT failed(reply->failureText().isEmpty() ? tr("Sign-in failed.") : reply->failureText(),
                      false);
        break;
    }
}

QUrl SubscriptionSignIn::verificationPage() const
{
    return m_account.deviceCodePage();
}

QString SubscriptionSignIn::deviceCode(const QString &progressText)
{
    if (!progressText.startsWith(deviceCodePrefix))
        return {};
    return progressText.mid(deviceCodePrefix.size()).trimmed();
}
