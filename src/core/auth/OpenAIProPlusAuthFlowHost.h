#pragma once

#include "core/auth/OpenAIProPlusAuthConfiguration.h"
#include "core/auth/OpenAIProPlusAuthOptions.h"
#include "core/auth/OpenAIProPlusAuthSession.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

struct PKCECodes;
struct TokenResponse;

// What a sign-in operation needs of the manager that runs it: the waits, the
// authority, the reading of its tokens, the stored session record, and the
// end of the one sign-in that may run at a time. The manager implements it,
// so the operation depends on this and not on the manager.
class OpenAIProPlusAuthFlowHost
{
public:
    // Receives the texts to show the user (the port fallback, the device
    // login code).
    using ProgressHandler = std::function<void(const QString &text)>;

    virtual ~OpenAIProPlusAuthFlowHost() = default;

    virtual const OpenAIProPlusAuthOptions &options() const = 0;
    virtual const OpenAIProPlusAuthConfiguration &configuration() const = 0;
    virtual QUrl buildAuthorizeURL(const PKCECodes &pkce, const QString &state,
                                   quint16 port) const = 0;
    virtual std::optional<QString> accountID(const TokenResponse &tokens) const = 0;
    virtual std::optional<QString> extractEmail(const TokenResponse &tokens) const = 0;
    virtual void save(const OpenAIProPlusAuthSession &session) const = 0;
    // Clears the in-flight mark the manager set when the operation began.
    virtual void endAuthorization() = 0;
};
