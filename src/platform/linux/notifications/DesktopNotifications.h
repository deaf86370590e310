#pragma once

#include <QString>

// Desktop notifications (org.freedesktop.Notifications) from Wrenlark.
namespace DesktopNotifications {

// Shows a notification; returns at once. Nothing happens (beyond a line in
// the log) where no notification daemon runs.
void show(const QString &summary, const QString &body);

} // namespace DesktopNotifications
