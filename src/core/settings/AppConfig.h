#pragma once

#include <QString>
#include <QUrl>

// The configuration one request is sent with: which provider, with which
// credential, asking which model. For the subscription provider `apiKey` is
// the placeholder "oauth-session"; the provider uses its stored sign-in
// session instead; for a server that needs no key it is empty.
struct AppConfig
{
    QString providerID;
    QString apiKey;
    QString model;
    // The chat endpoint of a server the user chose; empty for the catalog's.
    QUrl endpoint;
    // The language replies are written in; empty: the selection's own.
    QString replyLanguage;

    friend bool operator==(const AppConfig &, const AppConfig &) = default;
};
