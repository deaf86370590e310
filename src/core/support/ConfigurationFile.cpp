#include "core/support/ConfigurationFile.h"

#include "core/support/FileLogger.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>

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

namespace detail {

std::optional<QByteArray> readUserFile(const QString &fileName, QString *problem)
{
    QFile file(userFilePath(fileName));
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

void logIgnoredUserFile(const QString &fileName, const QString &what, const QString &problem)
{
    FileLogger::shared().error(QStringLiteral("Ignoring the %1 %2: %3. Using the built-in one.")
                                   .arg(what, userFilePath(fileName), problem));
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
