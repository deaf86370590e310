#pragma once

#include <QString>
#include <QUrl>

// Which proxy this process's requests go through: the system's settings,
// as libproxy reads them (the environment's http_proxy, https_proxy and
// no_proxy, and the desktop's own settings where its plugin for them is
// installed). Requests to this machine (localhost, loopback addresses)
// never go through a proxy.
namespace NetworkProxies {

// Makes every request of the process, streamed or not, follow the system's
// settings; call once, before the first request.
void useSystemSettings();

// What a request to `url` goes through now: "direct" or the proxy's
// address without its credentials ("http://proxy.example:3128").
QString describeRoute(const QUrl &url);

} // namespace NetworkProxies
