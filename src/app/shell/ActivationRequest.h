#pragma once

#include <QByteArray>
#include <QVariantMap>
#include <QtGlobal>

// What a request to show a window carries so the window may take focus: the
// X server time of the key press, or the startup id (X11) and activation
// token (Wayland) of the launcher that asked.
struct ActivationRequest
{
    quint32 timestamp = 0;
    QByteArray startupId;
    QByteArray activationToken;

    // From org.freedesktop.Application's platform_data ("desktop-startup-id",
    // "activation-token"); the startup id's "_TIME<n>" gives the timestamp.
    static ActivationRequest fromPlatformData(const QVariantMap &platformData);
    // This process's XDG_ACTIVATION_TOKEN and DESKTOP_STARTUP_ID as
    // platform_data, for a call that makes another process show a window.
    static QVariantMap platformDataFromEnvironment();
};
