#include "core/ai/NetworkProxies.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>

namespace {

QString schemeOf(QNetworkProxy::ProxyType type)
{
    switch (type) {
    case QNetworkProxy::Socks5Proxy:
        return QStringLiteral("socks5");
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
    case QNetworkProxy::FtpCachingProxy:
        return QStringLiteral("http");
    case QNetworkProxy::DefaultProxy:
    case QNetworkProxy::NoProxy:
        break;
    }
    return {};
}

} // namespace

void NetworkProxies::useSystemSettings()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

QString NetworkProxies::describeRoute(const QUrl &url)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    if (proxies.isEmpty() || schemeOf(proxies.first().type()).isEmpty())
        return QStringLiteral("direct");
    const QNetworkProxy &proxy = proxies.first();
    return QStringLiteral("%1://%2:%3")
        .arg(schemeOf(proxy.type()), proxy.hostName())
        .arg(proxy.port());
}
