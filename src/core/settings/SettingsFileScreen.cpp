#include "core/settings/SettingsFileScreen.h"

#include "core/support/Logging.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace {

// The value prefixes QSettings decodes with QDataStream.
constexpr QByteArrayView streamedPrefixes[] = {"@Variant(", "@DateTime("};
constexpr qsizetype longestPrefix = 10;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads one escape of QSettings' INI syntax at `text[*i]` (just after the
// backslash) and advances past it; answers the character it stands for, or
// 0 for one that cannot start a prefix (a number too large, a line
// continuation).
char unescape(QByteArrayView text, qsizetype *i)
{
    const char c = text[*i];
    ++*i;
    switch (c) {
    case 'x': {
        int value = 0;
        while (*i < text.size() && hexValue(text[*i]) >= 0) {
            value = (value * 16 + hexValue(text[*i])) & 0xffffff;
            ++*i;
        }
        return value < 0x80 ? char(value) : 0;
    }
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7': {
        int value = c - '0';
        while (*i < text.size() && text[*i] >= '0' && text[*i] <= '7') {
            value = (value * 8 + (text[*i] - '0')) & 0xffffff;
            ++*i;
        }
        return value < 0x80 ? char(value) : 0;
    }
    case '\n':
    case '\r':
        return 0;
    default:
        return c; // \" \\ \' \? and letters: only '"', '\\' and the like matter here
    }
}

bool startsWithStreamedPrefix(const QByteArray &element)
{
    for (const QByteArrayView prefix : streamedPrefixes) {
        if (element.startsWith(prefix))
            return true;
    }
    return false;
}

// Walks the value as QSettings would split it into list elements (commas
// outside quotes), unescaping the start of each element far enough to see
// whether it names a streamed type.
bool hasStreamedElement(QByteArrayView value)
{
    QByteArray element;
    bool quoted = false;
    bool atElementStart = true;
    for (qsizetype i = 0; i < value.size();) {
        const char c = value[i];
        if (!quoted && c == ',') {
            if (startsWithStreamedPrefix(element))
                return true;
            element.clear();
            atElementStart = true;
            ++i;
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
            ++i;
            continue;
        }
        if (!quoted && atElementStart && (c == ' ' || c == '\t')) {
            ++i;
            continue;
        }
        atElementStart = false;
        char decoded = c;
        ++i;
        if (c == '\\' && i < value.size())
            decoded = unescape(value, &i);
        if (element.size() < longestPrefix && decoded != 0)
            element.append(decoded);
    }
    return startsWithStreamedPrefix(element);
}

// The logical lines of an INI text: a line whose last character is an
// unescaped backslash continues on the next one.
QList<QByteArrayView> logicalLines(const QByteArray &contents)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < contents.size(); ++i) {
        if (contents[i] != '\n')
            continue;
        qsizetype backslashes = 0;
        for (qsizetype j = i - 1; j >= start && contents[j] == '\\'; --j)
            ++backslashes;
        if (backslashes % 2 == 1)
            continue;
        lines.append(QByteArrayView(contents).sliced(start, i + 1 - start));
        start = i + 1;
    }
    if (start < contents.size())
        lines.append(QByteArrayView(contents).sliced(start));
    return lines;
}

} // namespace

SettingsFileScreen::SettingsFileScreen(QString filePath)
    : m_filePath(std::move(filePath))
{
    screen();
}

bool SettingsFileScreen::isUnsafeLine(QByteArrayView line)
{
    const qsizetype equals = line.indexOf('=');
    if (equals < 0)
        return false;
    const QByteArrayView value = line.sliced(equals + 1);
    return value.size() > maximumValueBytes || hasStreamedElement(value);
}

QByteArray SettingsFileScreen::withoutUnsafeLines(const QByteArray &contents, QByteArray *removed)
{
    QByteArray kept;
    kept.reserve(contents.size());
    for (const QByteArrayView line : logicalLines(contents)) {
        if (isUnsafeLine(line))
            removed->append(line);
        else
            kept.append(line);
    }
    return kept;
}

void SettingsFileScreen::screen()
{
    const QFileInfo info(m_filePath);
    if (!info.exists()) {
        m_screenedSize = -1;
        return;
    }
    if (info.size() == m_screenedSize && info.lastModified() == m_screenedModified)
        return;
    screenContents();
    const QFileInfo after(m_filePath);
    m_screenedSize = after.exists() ? after.size() : -1;
    m_screenedModified = after.lastModified();
}

void SettingsFileScreen::screenContents()
{
    // QSettings' own lock: no other process writes between the reading
    // here and the rewriting or moving aside.
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    if (!lock.lock())
        return; // QSettings reports what it cannot write
    QFile file(m_filePath);
    if (file.size() > maximumFileBytes) {
        const QString aside = m_filePath + QStringLiteral(".too-large");
        QFile::remove(aside);
        const bool moved = QFile::rename(m_filePath, aside);
        qCWarning(lcSettings).noquote()
            << QStringLiteral("The settings file %1 is larger than %2 MiB; %3")
                   .arg(m_filePath)
                   .arg(maximumFileBytes / (1024 * 1024))
                   .arg(moved ? QStringLiteral("it was moved to %1 and default settings are used.")
                                    .arg(aside)
                              : QStringLiteral("it could not be moved aside."));
        return;
    }
    if (!file.open(QIODevice::ReadOnly))
        return; // QSettings reports what it cannot read
    QByteArray removed;
    const QByteArray kept = withoutUnsafeLines(file.readAll(), &removed);
    file.close();
    if (removed.isEmpty())
        return;
    setAside(removed, QStringLiteral("values this program never writes and cannot read safely"));
    QSaveFile rewritten(m_filePath);
    if (!rewritten.open(QIODevice::WriteOnly) || rewritten.write(kept) != kept.size() ||
        !rewritten.commit())
        qCWarning(lcSettings).noquote()
            << QStringLiteral("Could not rewrite the settings file %1.").arg(m_filePath);
}

void SettingsFileScreen::setAside(const QByteArray &lines, const QString &why)
{
    QFile aside(setAsidePath());
    const bool saved = aside.open(QIODevice::WriteOnly | QIODevice::Append) &&
                       aside.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                       aside.write(lines) == lines.size();
    qCWarning(lcSettings).noquote()
        << QStringLiteral(
               "The settings file %1 held %2 (%3 bytes); %4 The other settings are kept.")
               .arg(m_filePath, why)
               .arg(lines.size())
               .arg(saved ? QStringLiteral("they were moved to %1.").arg(setAsidePath())
                          : QStringLiteral("they were removed."));
}
