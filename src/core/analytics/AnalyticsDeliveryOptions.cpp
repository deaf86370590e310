#include "core/analytics/AnalyticsDeliveryOptions.h"

#include "core/support/FileLogger.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString builtInConfigurationPath = QStringLiteral(":/analytics.json");

QString configHome()
{
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.config");
    return home;
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

std::optional<QUrl> fail(QString *errorMessage, const QString &message)
{
    if (errorMessage)
        *errorMessage = message;
    return std::nullopt;
}

} // namespace

QString AnalyticsDeliveryOptions::defaultQueueFilePath()
{
    return FileLogger::logDirectory() + QStringLiteral("/analytics-queue.json");
}

QString AnalyticsDeliveryOptions::userConfigurationPath()
{
    return configHome() + QStringLiteral("/Wrenlark/analytics.json");
}

std::optional<QUrl> AnalyticsDeliveryOptions::endpointFromJson(const QByteArray &json,
                                                               QString *errorMessage)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(errorMessage, parseError.errorString() + QStringLiteral(" at offset ") +
                                      QString::number(parseError.offset));
    const QJsonValue endpoint = document.object().value(QStringLiteral("endpoint"));
    if (!document.isObject() || !endpoint.isString())
        return fail(errorMessage, QStringLiteral("\"endpoint\" must be a string"));
    if (endpoint.toString().isEmpty())
        return QUrl();

    const QUrl url(endpoint.toString(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return fail(errorMessage, QStringLiteral("\"endpoint\" is not a valid URL"));
    if (scheme != QStringLiteral("https") &&
        !(scheme == QStringLiteral("http") && isLoopbackHost(url.host())))
        return fail(
            errorMessage,
            QStringLiteral("\"endpoint\" must be an https URL (http only to this machine)"));
    return url;
}

QUrl AnalyticsDeliveryOptions::configuredEndpoint()
{
    const QString userPath = userConfigurationPath();
    QFile userFile(userPath);
    if (userFile.exists()) {
        QString problem;
        if (!userFile.open(QIODevice::ReadOnly))
            problem = userFile.errorString();
        else if (auto endpoint = endpointFromJson(userFile.readAll(), &problem))
            return *endpoint;
        FileLogger::shared().error(
            QStringLiteral(
                "Ignoring the analytics configuration %1: %2. Using the built-in configuration.")
                .arg(userPath, problem));
    }
    QFile builtIn(builtInConfigurationPath);
    if (!builtIn.open(QIODevice::ReadOnly))
        qFatal("Failed to load analytics.json from bundle");
    const auto endpoint = endpointFromJson(builtIn.readAll());
    if (!endpoint)
        qFatal("Failed to load analytics.json from bundle");
    return *endpoint;
}
