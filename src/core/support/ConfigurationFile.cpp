#include "core/support/ConfigurationFile.h"

#include "core/support/Logging.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <algorithm>

namespace ConfigurationFile {

QString configHome()
{
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty() || !QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.config");
    return home;
}

QString userFilePath(const QString &fileName)
{
    return configHome() + QStringLiteral("/Wrenlark/") + fileName;
}

std::optional<QJsonObject> parseObject(const QByteArray &json, QString *errorMessage)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error == QJsonParseError::NoError)
        return document.object();
    if (errorMessage)
        *errorMessage = parseError.errorString() + QStringLiteral(" at offset ") +
                        QString::number(parseError.offset);
    return std::nullopt;
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool isPrivateNetworkHost(const QString &host)
{
    const QHostAddress address(host);
    if (!address.isNull()) {
        static const QList<QPair<QHostAddress, int>> privateRanges = {
            QHostAddress::parseSubnet(QStringLiteral("10.0.0.0/8")),
            QHostAddress::parseSubnet(QStringLiteral("172.16.0.0/12")),
            QHostAddress::parseSubnet(QStringLiteral("192.168.0.0/16")),
            QHostAddress::parseSubnet(QStringLiteral("169.254.0.0/16")),
            QHostAddress::parseSubnet(QStringLiteral("fc00::/7")),
            QHostAddress::parseSubnet(QStringLiteral("fe80::/10")),
        };
        return std::any_of(privateRanges.cbegin(), privateRanges.cend(),
                           [&](const auto &range) { return address.isInSubnet(range); });
    }
    const QString name = host.toLower();
    if (name.isEmpty() || name.startsWith(u'.') || name.endsWith(u'.'))
        return false;
    static const QStringList localSuffixes = {QStringLiteral(".local"), QStringLiteral(".lan"),
                                              QStringLiteral(".home.arpa"),
                                              QStringLiteral(".internal")};
    return !name.contains(u'.') ||
           std::any_of(localSuffixes.cbegin(), localSuffixes.cend(),
                       [&](const QString &suffix) { return name.endsWith(suffix); });
}

namespace detail {

std::optional<QByteArray> readUserFile(const QString &path, QString *problem, QByteArray *contents)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.read(maximumFileBytes + 1);
    if (bytes.size() > maximumFileBytes) {
        *problem =
            QStringLiteral("the file is larger than %1 MiB").arg(maximumFileBytes / (1024 * 1024));
        *contents = bytes.left(maximumFileBytes);
        return std::nullopt;
    }
    return bytes;
}

void logIgnoredUserFile(const QString &path, const QString &what, const QString &problem)
{
    qCWarning(lcSupport).noquote()
        << QStringLiteral("Ignoring the %1 %2: %3. Using the built-in one.")
               .arg(what, path, problem);
}

QByteArray readBuiltIn(const QString &fileName)
{
    QFile file(QStringLiteral(":/") + fileName);
    if (!file.open(QIODevice::ReadOnly))
        failBuiltIn(fileName);
    return file.readAll();
}

void failBuiltIn(const QString &fileName)
{
    qFatal("Failed to load %s from bundle", qPrintable(fileName));
}

} // namespace detail
} // namespace ConfigurationFile
