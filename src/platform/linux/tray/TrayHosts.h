#pragma once

// Which tray hosts this desktop has, asked without touching QSystemTrayIcon:
// Qt decides once per process whether it uses StatusNotifierItem, at the
// first tray icon or availability check, and never again. So the icon is
// made only once a host is known.
namespace TrayHosts {

inline constexpr char watcherService[] = "org.kde.StatusNotifierWatcher";

// A StatusNotifierWatcher runs and a host has registered with it.
bool statusNotifierHostRegistered();
// A StatusNotifierWatcher runs (its host may still be starting).
bool statusNotifierWatcherRunning();
// An XEmbed system tray owns _NET_SYSTEM_TRAY_S<screen> (X11 only).
bool xembedTrayPresent();

} // namespace TrayHosts
