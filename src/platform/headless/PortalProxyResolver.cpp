#include "platform/headless/PortalProxyResolver.h"

#include "core/support/Logging.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDateTime>
#include <QMutexLocker>

namespace {

constexpr qint64 answerLifetimeMs = 60 * 1000;
constexpr int answerTimeoutMs = 1000;

std::optional<QNetworkProxy::ProxyType> proxyType(const QString &scheme)
{
    if (scheme == QLatin1String("direct"))
        return QNetworkProxy::NoProxy;
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return QNetworkProxy::HttpProxy;
    if (scheme == QLatin1String("socks") || scheme == QLatin1String("socks5"))
        return QNetworkProxy::Socks5Proxy;
    return std::nullopt; // socks4, rtsp, ...
}

} // namespace

PortalProxyResolver::PortalProxyResolver(const QString &connectionName)
    : m_connectionName(connectionName)
{
}

NetworkProxies::DesktopLookup PortalProxyResolver::desktopLookup()
{
    return [resolver = std::make_shared<PortalProxyResolver>()](const QUrl &url) {
        return resolver->lookup(url);
    };
}

std::optional<QList<QNetworkProxy>> PortalProxyResolver::lookup(const QUrl &url)
{
    // The address without its path: the portal needs no more, and one
    // answer serves every request to the host.
    const QString destination = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery |
                                             QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                    .toString();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QMutexLocker locker(&m_mutex);
    if (m_unavailable)
        return std::nullopt;
    if (const auto kept = m_answers.constFind(destination);
        kept != m_answers.cend() && now - kept->askedAtMs < answerLifetimeMs)
        return kept->proxies;
    const std::optional<QStringList> uris = ask(destination);
    if (!uris)
        return std::nullopt;
    const QList<QNetworkProxy> proxies = proxiesFromUris(*uris);
    if (proxies.isEmpty())
        return std::nullopt;
    m_answers.insert(destination, {proxies, now});
    return proxies;
}

std::optional<QStringList> PortalProxyResolver::ask(const QString &destination)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"),
        QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.ProxyResolver"), QStringLiteral("Lookup"));
    call << destination;
    // Started at login before the portal, or a terminal without a desktop:
    // the system's settings answer until a portal runs.
    call.setAutoStartService(false);
    QDBusConnection bus = m_connectionName.isEmpty() ? QDBusConnection::sessionBus()
                                                     : QDBusConnection(m_connectionName);
    const QDBusMessage reply = bus.call(call, QDBus::Block, answerTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
        return reply.arguments().constFirst().toStringList();
    const QDBusError::ErrorType error = QDBusError(reply).type();
    if (error == QDBusError::ServiceUnknown || error == QDBusError::Disconnected)
        return std::nullopt;
    // No portal, no resolver in it, or no answer in time: the system's
    // settings decide from now on.
    m_unavailable = true;
    qCInfo(lcAi).noquote() << QStringLiteral("The desktop portal's proxy resolver is not used: %1")
                                  .arg(QDBusError(reply).message());
    return std::nullopt;
}

QList<QNetworkProxy> PortalProxyResolver::proxiesFromUris(const QStringList &uris)
{
    QList<QNetworkProxy> proxies;
    for (const QString &uri : uris) {
        const QUrl url(uri);
        const std::optional<QNetworkProxy::ProxyType> type = proxyType(url.scheme());
        if (!type)
            continue;
        if (*type == QNetworkProxy::NoProxy) {
            proxies.append(QNetworkProxy(QNetworkProxy::NoProxy));
            continue;
        }
        const int defaultPort = *type == QNetworkProxy::Socks5Proxy ? 1080 : 8080;
        proxies.append(QNetworkProxy(*type, url.host(), quint16(url.port(defaultPort)),
                                     url.userName(), url.password()));
    }
    return proxies;
}
