#pragma once

#include <QByteArray>
#include <QtGlobal>

// What the desktop said about the user action that opens the command bar, so
// the bar may take focus from the application in front.
struct PanelActivation
{
    // X server time of the shortcut press; 0 when unknown.
    quint32 timestamp = 0;
    // Startup-notification id (DESKTOP_STARTUP_ID) of a `wrenlark toggle`.
    QByteArray startupId;
    // xdg-activation token (XDG_ACTIVATION_TOKEN) on Wayland.
    QByteArray activationToken;
};
