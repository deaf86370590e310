#include "core/auth/OpenAIProPlusAuthConfiguration.h"

#include "core/support/ConfigurationFile.h"

#include <QJsonObject>

namespace {

const QString configurationFileName = QStringLiteral("openai-auth.json");

std::optional<QString> issuerProblem(const QUrl &url)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return QStringLiteral("\"issuer\" must be an absolute URL with a host");
    if (!(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment() || !url.userInfo().isEmpty())
        return QStringLiteral("\"issuer\" must be an origin without path, query or credentials");
    if (url.scheme() == QLatin1String("https"))
        return std::nullopt;
    if (url.scheme() == QLatin1String("http") && ConfigurationFile::isLoopbackHost(url.host()))
        return std::nullopt;
    return QStringLiteral("\"issuer\" must use https (http only on a loopback address)");
}

std::nullopt_t fail(QString *errorMessage, const QString &message)
{
    if (errorMessage)
        *errorMessage = message;
    return std::nullopt;
}

} // namespace

QString OpenAIProPlusAuthConfiguration::userConfigurationPath()
{
    return ConfigurationFile::userFilePath(configurationFileName);
}

std::optional<OpenAIProPlusAuthConfiguration>
OpenAIProPlusAuthConfiguration::fromJson(const QByteArray &json, QString *errorMessage)
{
    const auto document = ConfigurationFile::parseObject(json, errorMessage);
    if (!document)
        return std::nullopt;
    const QJsonValue issuer = document->value(QStringLiteral("issuer"));
    const QJsonValue claimKey = document->value(QStringLiteral("authClaimKey"));
    if (!issuer.isString() || !claimKey.isString() || claimKey.toString().isEmpty())
        return fail(errorMessage,
                    QStringLiteral("it needs the strings \"issuer\" and \"authClaimKey\""));

    OpenAIProPlusAuthConfiguration configuration;
    configuration.issuer = QUrl(issuer.toString(), QUrl::StrictMode);
    if (const auto problem = issuerProblem(configuration.issuer))
        return fail(errorMessage, *problem);
    configuration.issuer.setPath(QString());
    configuration.authClaimKey = claimKey.toString();
    return configuration;
}

const OpenAIProPlusAuthConfiguration &OpenAIProPlusAuthConfiguration::shared()
{
    static const auto configuration = ConfigurationFile::load<OpenAIProPlusAuthConfiguration>(
        configurationFileName, QStringLiteral("sign-in configuration"),
        &OpenAIProPlusAuthConfiguration::fromJson);
    return configuration;
}

QUrl OpenAIProPlusAuthConfiguration::endpoint(const QString &path) const
{
    QUrl url = issuer;
    url.setPath(path);
    return url;
}
