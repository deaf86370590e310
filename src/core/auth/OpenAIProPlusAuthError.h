#pragma once

#include <QString>

// Every way signing in to the subscription account or keeping its session
// fresh can fail, each with the description the user sees. Cancellation is
// never one of them: the sign-in handle ends as cancelled instead.
//
// Besides the sign-in cases proper there are the failures of the pieces the
// sign-in uses: `authority` is an error page of the sign-in authority that
// names its own message (redirect "error" other than access_denied),
// `network` a transport failure, `invalidResponse` a reply that is not HTTP,
// `decodingFailed` a reply body of the wrong shape, `listenFailed` a callback
// listener that could not start (`addressInUse` when its port is taken).
class OpenAIProPlusAuthError
{
public:
    enum class Kind {
        tokenExchangeFailed,
        tokenRefreshFailed,
        alreadyAuthorizing,
        callbackTimeout,
        invalidCallback,
        invalidState,
        loginCanceled,
        missingAuthorizationCode,
        notConnected,
        deviceAuthorizationFailed,
        authority,
        network,
        invalidResponse,
        decodingFailed,
        listenFailed,
    };

    static OpenAIProPlusAuthError tokenExchangeFailed(int statusCode);
    static OpenAIProPlusAuthError tokenRefreshFailed(int statusCode);
    static OpenAIProPlusAuthError alreadyAuthorizing()
    {
        return OpenAIProPlusAuthError(Kind::alreadyAuthorizing);
    }
    static OpenAIProPlusAuthError callbackTimeout()
    {
        return OpenAIProPlusAuthError(Kind::callbackTimeout);
    }
    static OpenAIProPlusAuthError invalidCallback()
    {
        return OpenAIProPlusAuthError(Kind::invalidCallback);
    }
    static OpenAIProPlusAuthError invalidState()
    {
        return OpenAIProPlusAuthError(Kind::invalidState);
    }
    static OpenAIProPlusAuthError loginCanceled()
    {
        return OpenAIProPlusAuthError(Kind::loginCanceled);
    }
    static OpenAIProPlusAuthError missingAuthorizationCode()
    {
        return OpenAIProPlusAuthError(Kind::missingAuthorizationCode);
    }
    static OpenAIProPlusAuthError notConnected()
    {
        return OpenAIProPlusAuthError(Kind::notConnected);
    }
    static OpenAIProPlusAuthError deviceAuthorizationFailed()
    {
        return OpenAIProPlusAuthError(Kind::deviceAuthorizationFailed);
    }
    // Error domain "OpenAIProPlusAuth", code 1, described by the authority's message.
    static OpenAIProPlusAuthError authority(const QString &message);
    // `networkError` is a QNetworkReply::NetworkError value, `message` its text.
    static OpenAIProPlusAuthError network(int networkError, const QString &message);
    static OpenAIProPlusAuthError invalidResponse()
    {
        return OpenAIProPlusAuthError(Kind::invalidResponse);
    }
    static OpenAIProPlusAuthError decodingFailed(const QString &message);
    // `socketError` is a QAbstractSocket::SocketError value.
    static OpenAIProPlusAuthError listenFailed(int socketError, const QString &message);

    Kind kind() const { return m_kind; }
    int statusCode() const { return m_code; }
    int networkError() const { return m_code; }
    int socketError() const { return m_code; }
    QString message() const { return m_message; }

    // Whether the callback listener could not start because its port is taken.
    bool isAddressInUse() const;

    QString errorDescription() const;

    friend bool operator==(const OpenAIProPlusAuthError &,
                           const OpenAIProPlusAuthError &) = default;

private:
    explicit OpenAIProPlusAuthError(Kind kind, int code = 0, QString message = {})
        : m_kind(kind)
        , m_code(code)
        , m_message(std::move(message))
    {
    }

    Kind m_kind;
    int m_code = 0;
    QString m_message;
};
