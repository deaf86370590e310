#include "ui/tray/SupportEmail.h"

#include "core/support/ConfigurationFile.h"

#include <QJsonObject>
#include <QUrlQuery>

namespace SupportEmail {

namespace {

std::optional<QString> decode(const QByteArray &json, QString *errorMessage)
{
    const auto object = ConfigurationFile::parseObject(json, errorMessage);
    if (!object)
        return std::nullopt;
    const QString value = object->value(QStringLiteral("supportEmail")).toString().trimmed();
    // One plain address: no second recipient or header smuggled in.
    if (value.isEmpty() || value.count(u'@') != 1 || value.contains(u'?') || value.contains(u',') ||
        value.contains(u' ')) {
        if (errorMessage)
            *errorMessage = QStringLiteral("\"supportEmail\" is not one e-mail address");
        return std::nullopt;
    }
    return value;
}

} // namespace

QString address()
{
    return ConfigurationFile::load<QString>(QStringLiteral("support.json"),
                                            QStringLiteral("support configuration"), decode);
}

QUrl helpUrl(const QString &subject)
{
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(address());
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), subject);
    url.setQuery(query);
    return url;
}

} // namespace SupportEmail
