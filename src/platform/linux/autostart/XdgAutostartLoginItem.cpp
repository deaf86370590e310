#include "platform/linux/autostart/XdgAutostartLoginItem.h"

#include "core/support/ConfigurationFile.h"
#include "core/support/Logging.h"
#include "core/support/WrenlarkCommand.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>

namespace {

const QString entryGroup = QStringLiteral("[Desktop Entry]");
const QString hiddenKey = QStringLiteral("Hidden");
const QString gnomeEnabledKey = QStringLiteral("X-GNOME-Autostart-enabled");
const QString execKey = QStringLiteral("Exec");

// Characters that oblige an Exec argument to be quoted.
const QString reservedCharacters = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
// Characters that must be backslash-escaped inside a quoted argument.
const QString quoteEscapedCharacters = QStringLiteral("\"`$\\");

QString quoteArgument(const QString &argument)
{
    const bool needsQuotes =
        argument.isEmpty() || std::any_of(argument.begin(), argument.end(),
                                          [](QChar c) { return reservedCharacters.contains(c); });
    if (!needsQuotes)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (quoteEscapedCharacters.contains(c))
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// The escapes of a desktop entry's string values, applied before quoting is
// read (so a backslash in a quoted argument is written as four).
QString escapeString(const QString &value)
{
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString unescapeString(const QString &value)
{
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case u's':
            plain += u' ';
            break;
        case u'n':
            plain += u'\n';
            break;
        case u't':
            plain += u'\t';
            break;
        case u'r':
            plain += u'\r';
            break;
        case u'\\':
            plain += u'\\';
            break;
        default:
            plain += u'\\';
            plain += value[i];
        }
    }
    return plain;
}

bool setError(QString *errorDescription, const QString &message)
{
    if (errorDescription)
        *errorDescription = message;
    return false;
}

} // namespace

XdgAutostartLoginItem::XdgAutostartLoginItem()
    : XdgAutostartLoginItem(WrenlarkCommand::path())
{
}

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executablePath)
    : m_executablePath(std::move(executablePath))
{
}

QString XdgAutostartLoginItem::entryFilePath()
{
    return ConfigurationFile::configHome() + QStringLiteral("/autostart/wrenlark.desktop");
}

QString XdgAutostartLoginItem::execValue(const QString &program)
{
    QString value = quoteArgument(program);
    value.replace(u'%', QStringLiteral("%%"));
    return escapeString(value);
}

std::optional<QString> XdgAutostartLoginItem::programOfExec(const QString &execValue)
{
    const QString value = unescapeString(execValue).trimmed();
    QString program;
    qsizetype i = 0;
    if (value.startsWith(u'"')) {
        for (i = 1; i < value.size() && value[i] != u'"'; ++i) {
            if (value[i] == u'\\' && i + 1 < value.size() &&
                quoteEscapedCharacters.contains(value[i + 1]))
                ++i;
            program += value[i];
        }
        // Unterminated, or text glued to the closing quote.
        if (i == value.size() || (i + 1 < value.size() && !value[i + 1].isSpace()))
            return std::nullopt;
    } else {
        for (; i < value.size() && !value[i].isSpace(); ++i)
            program += value[i];
    }
    if (program.isEmpty())
        return std::nullopt;
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

QHash<QString, QString> XdgAutostartLoginItem::readEntry(const QByteArray &contents)
{
    QHash<QString, QString> entry;
    bool inEntryGroup = false;
    for (const QString &rawLine : QString::fromUtf8(contents).split(u'\n')) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntryGroup = line == entryGroup;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntryGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!entry.contains(key))
            entry.insert(key, line.mid(equals + 1).trimmed());
    }
    return entry;
}

QByteArray XdgAutostartLoginItem::entryContents(const QString &executablePath)
{
    const QString contents =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Wrenlark\n"
                       "Comment=AI text assistant for the text you select\n"
                       "Icon=com.wrenlark.Wrenlark\n"
                       "Exec=%1 %2\n"
                       "Terminal=false\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(execValue(executablePath), LoginItemService::startedAtLoginArgument);
    return contents.toUtf8();
}

bool XdgAutostartLoginItem::executableLocated() const
{
    const QFileInfo executable(m_executablePath);
    return !m_executablePath.isEmpty() && executable.isFile() && executable.isExecutable();
}

bool XdgAutostartLoginItem::isDisabledByDesktop(const QHash<QString, QString> &entry)
{
    return entry.value(hiddenKey).compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0 ||
           entry.value(gnomeEnabledKey).compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0;
}

LoginItemService::Status XdgAutostartLoginItem::status()
{
    if (!executableLocated())
        return Status::notFound;
    QFile file(entryFilePath());
    if (!file.exists())
        return Status::notRegistered;
    if (!file.open(QIODevice::ReadOnly))
        return Status::requiresApproval;
    const QHash<QString, QString> entry = readEntry(file.readAll());
    if (isDisabledByDesktop(entry))
        return Status::requiresApproval;
    if (programOfExec(entry.value(execKey)) != m_executablePath)
        return Status::requiresApproval;
    return Status::enabled;
}

bool XdgAutostartLoginItem::registerItem(QString *errorDescription)
{
    if (!executableLocated())
        return setError(
            errorDescription,
            QStringLiteral("The executable %1 could not be located").arg(m_executablePath));

    const QString path = entryFilePath();
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && isDisabledByDesktop(readEntry(existing.readAll()))) {
        qCInfo(lcDesktop).noquote()
            << QStringLiteral("Launch at login is turned off in the desktop's "
                              "startup settings; leaving %1 as it is.")
                   .arg(path);
        return true;
    }

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return setError(
            errorDescription,
            QStringLiteral("Cannot create the folder %1").arg(QFileInfo(path).absolutePath()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entryContents(m_executablePath)) < 0 ||
        !file.commit())
        return setError(errorDescription,
                        QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

bool XdgAutostartLoginItem::unregisterItem(QString *errorDescription)
{
    QFile file(entryFilePath());
    if (!file.exists() || file.remove())
        return true;
    return setError(
        errorDescription,
        QStringLiteral("Cannot remove %1: %2").arg(file.fileName(), file.errorString()));
}
