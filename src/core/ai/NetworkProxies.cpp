#include "core/ai/NetworkProxies.h"

#include "core/support/ConfigurationFile.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>

namespace {

bool environmentNamesProxies()
{
    for (const char *name : {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    return false;
}

class SystemProxyFactory : public QNetworkProxyFactory
{
public:
    explicit SystemProxyFactory(NetworkProxies::DesktopLookup desktopLookup)
        : m_desktopLookup(std::move(desktopLookup))
        , m_environmentDecides(environmentNamesProxies())
    {
    }

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        if (ConfigurationFile::isLoopbackHost(query.peerHostName()))
            return {QNetworkProxy::NoProxy};
        if (!m_environmentDecides && m_desktopLookup)
            if (auto proxies = m_desktopLookup(query.url()); proxies && !proxies->isEmpty())
                return *proxies;
        return systemProxyForQuery(query);
    }

private:
    const NetworkProxies::DesktopLookup m_desktopLookup;
    const bool m_environmentDecides;
};

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

void NetworkProxies::useSystemSettings(DesktopLookup desktopLookup)
{
    // Qt owns the factory from here on.
    QNetworkProxyFactory::setApplicationProxyFactory(
        new SystemProxyFactory(std::move(desktopLookup)));
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
