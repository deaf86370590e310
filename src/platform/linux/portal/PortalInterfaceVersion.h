#pragma once

#include <QString>

// The version of an interface the desktop portal
// (org.freedesktop.portal.Desktop on the session bus) offers; 0 when it
// offers none, does not answer, or the bus is not there. Asking may start
// the portal (D-Bus activation), which at login can take longer than
// `timeoutMs`: a first question that times out is asked once more, for up
// to `startupTimeoutMs`. A portal that does not answer that either is
// taken as hung for the rest of this process, and asked no more.
uint portalInterfaceVersion(const QString &interface, int timeoutMs = 1000,
                            int startupTimeoutMs = 5000);
