#pragma once

#include <QList>
#include <QString>
#include <optional>

// What the system reads from the payload of a sign-in token: the account and
// the e-mail to show. The signature is not checked; the claims serve only for
// display and for the account header of requests.
struct TokenClaims
{
    struct Organization
    {
        QString id;
    };
    // The authority's namespaced auth claim.
    struct OpenAIAuth
    {
        std::optional<QString> chatgptAccountID;
    };

    std::optional<QString> chatgptAccountID;
    std::optional<QList<Organization>> organizations;
    std::optional<QString> email;
    std::optional<OpenAIAuth> openAIAuth;

    // The top-level account, else the namespaced claim's, else the first
    // organization's id. An empty string counts as a value.
    std::optional<QString> accountID() const;

    // The claims of a JSON Web Token; `authClaimKey` names the namespaced
    // auth claim. Nothing when the token is not three dot-separated pieces,
    // its payload is not Base64url JSON, or a member has the wrong type.
    static std::optional<TokenClaims> parse(const QString &jwt, const QString &authClaimKey);
};
