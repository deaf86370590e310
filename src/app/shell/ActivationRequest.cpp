#include "shell/ActivationRequest.h"

#include <algorithm>

namespace {

// The X server time a startup id ends with ("…_TIME1234"); 0 without one.
// Plain parsing: a regular expression would load PCRE on every shortcut.
quint32 timestampOf(const QByteArray &startupId)
{
    const qsizetype marker = startupId.lastIndexOf("_TIME");
    if (marker < 0)
        return 0;
    const QByteArray digits = startupId.sliced(marker + 5);
    if (digits.isEmpty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return digits.toUInt();
}

} // namespace

ActivationRequest ActivationRequest::fromPlatformData(const QVariantMap &platformData)
{
    ActivationRequest request;
    request.startupId =
        platformData.value(QStringLiteral("desktop-startup-id")).toString().toUtf8();
    request.activationToken =
        platformData.value(QStringLiteral("activation-token")).toString().toUtf8();
    request.timestamp = timestampOf(request.startupId);
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
