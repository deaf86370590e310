#pragma once

#include "core/ai/NetworkProxies.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QNetworkProxy>
#include <QString>
#include <QUrl>
#include <optional>

// The desktop's proxy settings, as the desktop portal's proxy resolver
// (org.freedesktop.portal.ProxyResolver) answers for an address: GNOME's and
// KDE's own settings, a proxy auto-configuration script included. Answers
// are kept a minute per scheme, host and port, so a stream of requests asks
// once. A portal that is not running is not started for this; one without
// the resolver, or that does not answer within a second, is asked no more. Safe to call from any
// thread (Qt asks for proxies on the thread that sends a request).
class PortalProxyResolver
{
public:
    explicit PortalProxyResolver(const QString &connectionName = {});

    // The proxies for `url`, best first (NoProxy for "direct://"); nullopt
    // when the portal has no answer, so the system's settings decide.
    std::optional<QList<QNetworkProxy>> lookup(const QUrl &url);

    // A lookup for NetworkProxies::useSystemSettings that asks a resolver of
    // its own.
    static NetworkProxies::DesktopLookup desktopLookup();

    // The portal's answer in Qt's terms; proxies Qt cannot speak are left out.
    static QList<QNetworkProxy> proxiesFromUris(const QStringList &uris);

private:
    struct Answer
    {
        QList<QNetworkProxy> proxies;
        qint64 askedAtMs = 0;
    };

    std::optional<QStringList> ask(const QString &destination);

    const QString m_connectionName;
    QMutex m_mutex;
    bool m_unavailable = false;
    QHash<QString, Answer> m_answers;
};
