#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Checks the settings file before QSettings reads it. QSettings' INI reader
// turns "@Variant(...)" and "@DateTime(...)" values into objects through
// QDataStream as it loads the file, and that decoding trusts the bytes: a
// value nested thousands of levels deep overflows the stack, one that claims
// a huge count makes it reserve gigabytes. This program never writes such
// values, so a line that holds one (or a value beyond a sane length) is
// taken out of the file and appended to "<file>.set-aside", with an ERROR in
// the log; every other line stays as it was. A file beyond any sane size is
// moved aside whole.
class SettingsFileScreen
{
public:
    // A single value longer than this is no setting of this program.
    static constexpr qsizetype maximumValueBytes = 1024 * 1024;
    // A settings file larger than this is moved aside unread.
    static constexpr qint64 maximumFileBytes = 8 * 1024 * 1024;

    explicit SettingsFileScreen(QString filePath);

    // Screens the file when it changed since the last call (or this is the
    // first): cheap when nothing changed.
    void screen();

    QString setAsidePath() const { return m_filePath + QStringLiteral(".set-aside"); }

    // Whether one line of an INI file (with its continuation lines joined)
    // holds a value that QSettings would decode through QDataStream, or one
    // beyond maximumValueBytes.
    static bool isUnsafeLine(QByteArrayView line);
    // The file's text without its unsafe lines; `removed` receives them.
    static QByteArray withoutUnsafeLines(const QByteArray &contents, QByteArray *removed);

private:
    void screenContents();
    void setAside(const QByteArray &lines, const QString &why);

    QString m_filePath;
    qint64 m_screenedSize = -1;
    QDateTime m_screenedModified;
};
