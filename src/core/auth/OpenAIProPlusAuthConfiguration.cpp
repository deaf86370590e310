#include "core/auth/OpenAIProPlusAuthConfiguration.h"

#include "core/support/FileLogger.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString builtInPath = QStringLiteral(":/openai-auth.json");

QString configHome()
{
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.config");
    return home;
}

bool isLoopbackHost(const QString &host)
{
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::optional<QString> issuerProblem(const QUrl &url)
{
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return QStringLiteral("\"issuer\" must be an absolute URL with a host");
    if (!(url.path().isEmpty() || url.path() == QLatin1String("/")) || url.hasQuery() ||
        url.hasFragment() || !url.userInfo().isEmpty())
        return QStringLiteral("\"issuer\" must be an origin without path, query or credentials");
    if (url.scheme() == QLatin1String("https"))
        return std::nullopt;
    if (url.scheme() == QLatin1String("http") && isLoopbackHost(url.host()))
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
    return configHome() + QStringLiteral("/Wrenlark/openai-auth.json");
}

std::optional<OpenAIProPlusAuthConfiguration>
OpenAIProPlusAuthConfiguration::fromJson(const QByteArray &json, QString *errorMessage)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(errorMessage, parseError.errorString() + QStringLiteral(" at offset ") +
                                      QString::number(parseError.offset));
    const QJsonValue issuer = document.object().value(QStringLiteral("issuer"));
    const QJsonValue claimKey = document.object().value(QStringLiteral("authClaimKey"));
    if (!document.isObject() || !issuer.isString() || !claimKey.isString() ||
        claimKey.toString().isEmpty())
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
    static const OpenAIProPlusAuthConfiguration configuration = [] {
        const QString userPath = userConfigurationPath();
        QFile userFile(userPath);
        if (userFile.exists()) {
            QString problem;
            if (!userFile.open(QIODevice::ReadOnly))
                problem = userFile.errorString();
            else if (auto user = fromJson(userFile.readAll(), &problem))
                return *user;
            FileLogger::shared().error(
                QStringLiteral("Ignoring the sign-in configuration %1: %2. Using the built-in one.")
                    .arg(userPath, problem));
        }
        QFile builtIn(builtInPath);
        if (!builtIn.open(QIODevice::ReadOnly))
            qFatal("Failed to load openai-auth.json from the resources");
        auto builtInConfiguration = fromJson(builtIn.readAll());
        if (!builtInConfiguration)
            qFatal("Failed to load openai-auth.json from the resources");
        return *builtInConfiguration;
    }();
    return configuration;
}

QUrl OpenAIProPlusAuthConfiguration::endpoint(const QString &path) const
{
    QUrl url = issuer;
    url.setPath(path);
    return url;
}
