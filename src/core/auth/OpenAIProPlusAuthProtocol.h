#pragma once

#include <QString>

// What the subscription's sign-in authority knows this application by: its
// client identifier, the scope it asks for, and the local redirect it has
// registered.
namespace OpenAIProPlusAuthProtocol {

inline const QString clientID = QStringLiteral("app_Q7rTm2LxV9pKd4WsN8bHc3Fz");
inline const QString scope = QStringLiteral("openid profile email offline_access");
// The registered redirect's port.
inline constexpr quint16 callbackPort = 1455;

// "http://localhost:<port>/auth/callback"
inline QString redirectURI(quint16 port = callbackPort)
{
    return QStringLiteral("http://localhost:%1/auth/callback").arg(port);
}

} // namespace OpenAIProPlusAuthProtocol
