#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <optional>

// Where the subscription sign-in goes, from "openai-auth.json": the sign-in
// authority's origin (`issuer`, every sign-in endpoint is a path on it) and
// the name of the namespaced claim that carries the account in its tokens.
// The built-in file lives in the application's resources; a file of the same
// schema at $XDG_CONFIG_HOME/Wrenlark/openai-auth.json replaces it.
struct OpenAIProPlusAuthConfiguration
{
    QUrl issuer;
    QString authClaimKey;

    // Built on first use from the user file when it is valid, otherwise from
    // the built-in file (an invalid user file is logged as an ERROR).
    static const OpenAIProPlusAuthConfiguration &shared();

    // Decodes a configuration; nothing when it is not valid. The issuer must
    // be an origin without path, query or credentials, https, or http on a
    // loopback address (tokens never travel in clear text over a network).
    static std::optional<OpenAIProPlusAuthConfiguration> fromJson(const QByteArray &json,
                                                                  QString *errorMessage = nullptr);

    static QString userConfigurationPath();

    // The issuer with `path` as its path.
    QUrl endpoint(const QString &path) const;
};
