#pragma once

#include <QString>

// The configuration one request is sent with: which provider, with which
// credential, asking which model. For the subscription provider `apiKey` is
// the placeholder "oauth-session"; the provider uses its stored sign-in
// session instead.
struct AppConfig
{
    QString providerID;
    QString apiKey;
    QString model;

    friend bool operator==(const AppConfig &, const AppConfig &) = default;
};
