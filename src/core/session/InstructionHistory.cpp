#include "core/session/InstructionHistory.h"

#include "core/settings/SettingsKeys.h"
#include "core/support/ConfigurationFile.h"
#include "core/support/FileLogger.h"
#include "core/support/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <optional>

namespace {

const QString versionKey = QStringLiteral("version");
const QString instructionsKey = QStringLiteral("instructions");
constexpr int fileVersion = 1;

// A full history with every character written as a six-byte \u escape, and
// room for the rest of the document.
constexpr qint64 maximumFileBytes =
    InstructionHistory::maximumEntries * InstructionHistory::maximumInstructionLength * 6 + 4096;

// The instruction as the history keeps it; nothing when it is not kept.
std::optional<QString> keptForm(const QString &instruction)
{
    QString text = instruction.trimmed();
    if (text.isEmpty() || text.size() > InstructionHistory::maximumInstructionLength)
        return std::nullopt;
    return text;
}

// What a file's list holds, screened as add() screens it: a damaged or
// repeated entry costs only itself.
QStringList entriesFrom(const QJsonArray &values)
{
    QStringList entries;
    for (const QJsonValue &value : values) {
        const auto text = keptForm(value.toString());
        if (text && !entries.contains(*text))
            entries.append(*text);
        if (entries.size() == InstructionHistory::maximumEntries)
            break;
    }
    return entries;
}

std::optional<QStringList> readEntries(const QString &path, QString *problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return std::nullopt;
    }
    const QByteArray json = file.read(maximumFileBytes + 1);
    if (json.size() > maximumFileBytes) {
        *problem = QStringLiteral("it is larger than any history this program writes");
        return std::nullopt;
    }
    const auto root = ConfigurationFile::parseObject(json, problem);
    if (!root)
        return std::nullopt;
    if (root->value(versionKey).toInt() != fileVersion || !root->value(instructionsKey).isArray()) {
        *problem =
            QStringLiteral("it is not a list of instructions of version %1").arg(fileVersion);
        return std::nullopt;
    }
    return entriesFrom(root->value(instructionsKey).toArray());
}

QString asidePath(const QString &path)
{
    return path + QStringLiteral(".unreadable");
}

} // namespace

InstructionHistory::InstructionHistory()
    : m_filePath(standardFilePath())
{
    load();
}

QString InstructionHistory::standardFilePath()
{
    // The state folder the log lives in.
    return FileLogger::logDirectory() + QStringLiteral("/instruction-history.json");
}

bool InstructionHistory::isEnabled() const
{
    return m_settings.boolValue(SettingsKeys::instructionHistoryEnabled.name);
}

void InstructionHistory::add(const QString &instruction)
{
    const auto text = keptForm(instruction);
    if (!text || !isEnabled())
        return;
    // From the file as it is now, so that another instance's instructions stay.
    load();
    if (!m_mayWrite || m_entries.value(0) == *text)
        return;
    m_entries.removeOne(*text);
    m_entries.prepend(*text);
    if (m_entries.size() > maximumEntries)
        m_entries.resize(maximumEntries);
    save();
}

void InstructionHistory::clear()
{
    m_entries.clear();
    for (const QString &path : {m_filePath, asidePath(m_filePath)}) {
        if (QFile::exists(path) && !QFile::remove(path))
            qCWarning(lcSession).noquote()
                << QStringLiteral("The instruction history %1 could not be deleted.").arg(path);
    }
    m_mayWrite = !QFile::exists(m_filePath);
}

void InstructionHistory::load()
{
    m_entries.clear();
    m_mayWrite = true;
    if (!QFile::exists(m_filePath))
        return;
    QString problem;
    if (const auto entries = readEntries(m_filePath, &problem)) {
        m_entries = *entries;
        return;
    }
    // Kept for the user rather than replaced by an empty history. Only the
    // latest unreadable file is kept.
    const QString aside = asidePath(m_filePath);
    QFile::remove(aside);
    m_mayWrite = QFile::rename(m_filePath, aside);
    qCWarning(lcSession).noquote()
        << QStringLiteral("The instruction history %1 could not be read: %2. %3")
               .arg(m_filePath, problem,
                    m_mayWrite
                        ? QStringLiteral("It was moved to %1; a new history begins.").arg(aside)
                        : QStringLiteral("It could not be moved aside, so nothing is "
                                         "recorded over it."));
}

void InstructionHistory::save() const
{
    const QJsonObject root{{versionKey, fileVersion},
                           {instructionsKey, QJsonArray::fromStringList(m_entries)}};
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Compact);
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSaveFile file(m_filePath);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(json) == json.size() && file.commit();
    if (!written) {
        qCWarning(lcSession).noquote()
            << QStringLiteral("The instruction history %1 could not be saved: %2.")
                   .arg(m_filePath, file.errorString());
        file.cancelWriting();
    }
}
