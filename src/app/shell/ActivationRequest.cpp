#include "shell/ActivationRequest.h"

#include "core/desktop/StartupId.h"

ActivationRequest ActivationRequest::fromPlatformData(const QVariantMap &platformData)
{
    ActivationRequest request;
    request.startupId =
        platformData.value(QStringLiteral("desktop-startup-id")).toString().toUtf8();
    request.activationToken =
        platformData.value(QStringLiteral("activation-token")).toString().toUtf8();
    request.timestamp = StartupId::timestamp(request.startupId);
    return request;
}

QVariantMap ActivationRequest::platformDataFromEnvironment()
{
    QVariantMap data;
    if (const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN"); !token.isEmpty())
        data.insert(QStringLiteral("activation-token"), token);
    if (const QString id = qEnvironmentVariable("DESKTOP_STARTUP_ID"); !id.isEmpty())
        data.insert(QStringLiteral("desktop-startup-id"), id);
    return data;
}
