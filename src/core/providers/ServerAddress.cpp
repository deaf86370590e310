#include "core/providers/ServerAddress.h"

#include "core/support/ConfigurationFile.h"

#include <QCoreApplication>

namespace ServerAddress {

namespace {

const QString chatPath = QStringLiteral("/chat/completions");

QString tr(const char *text)
{
    return QCoreApplication::translate("ServerAddress", text);
}

Checked refuse(const QString &problem)
{
    return {QUrl(), problem};
}

QUrl withPath(const QUrl &address, const QString &path)
{
    QUrl url = address;
    url.setPath(address.path() + path);
    return url;
}

} // namespace

Checked check(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return refuse(tr("Enter an address such as http://127.0.0.1:11434/v1."));
    if (!url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        return refuse(tr("The address cannot hold a user name, a query or a fragment."));
    const QString host = url.host().toLower();
    if (scheme == QLatin1String("http") && !ConfigurationFile::isLoopbackHost(host) &&
        !ConfigurationFile::isPrivateNetworkHost(host))
        return refuse(tr("Plain http is allowed only to this computer or a host of your own "
                         "network, because your text and key would cross the internet "
                         "unencrypted. Use https for %1.")
                          .arg(host));
    QUrl address = url.adjusted(QUrl::StripTrailingSlash | QUrl::NormalizePathSegments);
    address.setScheme(scheme);
    return {address, QString()};
}

Checked checkEndpointOrAddress(const QString &text)
{
    QString address = text.trimmed();
    if (address.endsWith(chatPath))
        address.chop(chatPath.size());
    return check(address);
}

QUrl chatEndpoint(const QUrl &address)
{
    return withPath(address, chatPath);
}

QUrl modelsEndpoint(const QUrl &address)
{
    return withPath(address, QStringLiteral("/models"));
}

QUrl ollamaTagsEndpoint(const QUrl &address)
{
    return address.resolved(QUrl(QStringLiteral("/api/tags")));
}

} // namespace ServerAddress
