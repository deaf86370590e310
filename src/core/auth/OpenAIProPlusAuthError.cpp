#include "core/auth/OpenAIProPlusAuthError.h"

#include <QAbstractSocket>

OpenAIProPlusAuthError OpenAIProPlusAuthError::tokenExchangeFailed(int statusCode)
{
    return OpenAIProPlusAuthError(Kind::tokenExchangeFailed, statusCode);
}

OpenAIProPlusAuthError OpenAIProPlusAuthError::tokenRefreshFailed(int statusCode)
{
    return OpenAIProPlusAuthError(Kind::tokenRefreshFailed, statusCode);
}

OpenAIProPlusAuthError OpenAIProPlusAuthError::authority(const QString &message)
{
    return OpenAIProPlusAuthError(Kind::authority, 1, message);
}

OpenAIProPlusAuthError OpenAIProPlusAuthError::network(int networkError, const QString &message)
{
    return OpenAIProPlusAuthError(Kind::network, networkError, message);
}

OpenAIProPlusAuthError OpenAIProPlusAuthError::decodingFailed(const QString &message)
{
    return OpenAIProPlusAuthError(Kind::decodingFailed, 0, message);
}

OpenAIProPlusAuthError OpenAIProPlusAuthError::listenFailed(int socketError, const QString &message)
{
    return OpenAIProPlusAuthError(Kind::listenFailed, socketError, message);
}

bool OpenAIProPlusAuthError::isAddressInUse() const
{
    return m_kind == Kind::listenFailed && m_code == QAbstractSocket::AddressInUseError;
}

QString OpenAIProPlusAuthError::errorDescription() const
{
    switch (m_kind) {
    case Kind::tokenExchangeFailed:
        return QStringLiteral("OpenAI token exchange failed (%1).").arg(m_code);
    case Kind::tokenRefreshFailed:
        return QStringLiteral("OpenAI token refresh failed (%1).").arg(m_code);
    case Kind::alreadyAuthorizing:
        return QStringLiteral("A login flow is already in progress.");
    case Kind::callbackTimeout:
        return QStringLiteral("Timed out waiting for the OpenAI login callback.");
    case Kind::invalidCallback:
        return QStringLiteral("Received an invalid callback from OpenAI.");
    case Kind::invalidState:
        return QStringLiteral("OpenAI returned an invalid state value.");
    case Kind::loginCanceled:
        return QStringLiteral("OpenAI login was canceled.");
    case Kind::missingAuthorizationCode:
        return QStringLiteral("OpenAI did not return an authorization code.");
    case Kind::notConnected:
        return QStringLiteral("OpenAI Pro/Plus is not connected.");
    case Kind::deviceAuthorizationFailed:
        return QStringLiteral("OpenAI device authorization failed.");
    case Kind::authority:
        return m_message;
    case Kind::network:
        return m_message;
    case Kind::invalidResponse:
        return QStringLiteral("Invalid response from server.");
    case Kind::decodingFailed:
        return QStringLiteral("Failed to decode OpenAI response: %1").arg(m_message);
    case Kind::listenFailed:
        return QStringLiteral("Could not listen for the OpenAI login callback: %1").arg(m_message);
    }
    return {};
}
