#pragma once

#include <QList>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// Which proxy this process's requests go through. In order:
// - requests to this machine (localhost, loopback addresses) never take one;
// - the environment's https_proxy, http_proxy, all_proxy and no_proxy, when
//   any is set;
// - the desktop's own settings, when a lookup for them is given and has an
//   answer (the desktop portal's proxy resolver on GNOME and KDE);
// - the system's settings as libproxy reads them.
namespace NetworkProxies {

// The desktop's proxies for `url`, best first; nullopt when the desktop has
// no say. May be called on any thread.
using DesktopLookup = std::function<std::optional<QList<QNetworkProxy>>(const QUrl &url)>;

// Makes every request of the process, streamed or not, follow the order
// above; call once, before the first request.
void useSystemSettings(DesktopLookup desktopLookup = {});

// What a request to `url` goes through now: "direct" or the proxy's
// address without its credentials ("http://proxy.example:3128").
QString describeRoute(const QUrl &url);

} // namespace NetworkProxies
