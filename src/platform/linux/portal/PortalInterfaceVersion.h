#pragma once

#include <QString>

// The version of an interface the desktop portal
// (org.freedesktop.portal.Desktop on the session bus) offers; 0 when it
// offers none, no portal answers within `timeoutMs`, or the bus is not
// there. Asking may start the portal (D-Bus activation).
uint portalInterfaceVersion(const QString &interface, int timeoutMs = 1000);
