#include "core/analytics/AnalyticsDeliveryOptions.h"

#include "core/support/ConfigurationFile.h"
#include "core/support/FileLogger.h"

#include <QJsonObject>

namespace {

const QString configurationFileName = QStringLiteral("analytics.json");

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
    return ConfigurationFile::userFilePath(configurationFileName);
}

std::optional<QUrl> AnalyticsDeliveryOptions::endpointFromJson(const QByteArray &json,
                                                               QString *errorMessage)
{
    const auto document = ConfigurationFile::parseObject(json, errorMessage);
    if (!document)
        return std::nullopt;
    const QJsonValue endpoint = document->value(QStringLiteral("endpoint"));
    if (!endpoint.isString())
        return fail(errorMessage, QStringLiteral("\"endpoint\" must be a string"));
    if (endpoint.toString().isEmpty())
        return QUrl();

    const QUrl url(endpoint.toString(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty())
        return fail(errorMessage, QStringLiteral("\"endpoint\" is not a valid URL"));
    if (scheme != QStringLiteral("https") &&
        !(scheme == QStringLiteral("http") && ConfigurationFile::isLoopbackHost(url.host())))
        return fail(
            errorMessage,
            QStringLiteral("\"endpoint\" must be an https URL (http only to this machine)"));
    return url;
}

QUrl AnalyticsDeliveryOptions::configuredEndpoint()
{
    return ConfigurationFile::load<QUrl>(configurationFileName,
                                         QStringLiteral("analytics configuration"),
                                         &AnalyticsDeliveryOptions::endpointFromJson);
}
