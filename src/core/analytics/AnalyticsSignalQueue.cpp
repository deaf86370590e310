#include "core/analytics/AnalyticsSignalQueue.h"

#include "core/support/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <algorithm>

namespace {

const QString versionKey = QStringLiteral("version");
const QString signalsKey = QStringLiteral("signals");
constexpr int fileVersion = 1;

void logError(const QString &message)
{
    qCWarning(lcAnalytics).noquote() << message;
}

} // namespace

AnalyticsSignalQueue::AnalyticsSignalQueue(QString filePath, int maxCount)
    : m_filePath(std::move(filePath))
    , m_maxCount(std::max(1, maxCount))
{
}

void AnalyticsSignalQueue::load()
{
    m_records.clear();
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        logError(QStringLiteral(
                     "Analytics queue %1 could not be read: %2. Starting with an empty queue.")
                     .arg(m_filePath, file.errorString()));
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    const QJsonObject root = document.object();
    if (parseError.error != QJsonParseError::NoError || !root.value(signalsKey).isArray() ||
        root.value(versionKey).toInt() != fileVersion) {
        logError(QStringLiteral(
                     "Analytics queue %1 is not a valid queue file. Starting with an empty queue.")
                     .arg(m_filePath));
        return;
    }
    // A damaged entry costs only itself.
    for (const QJsonValue &value : root.value(signalsKey).toArray()) {
        if (auto record = AnalyticsSignalRecord::fromJson(value.toObject()))
            m_records.append(std::move(*record));
    }
    dropOverflow();
}

bool AnalyticsSignalQueue::save()
{
    if (m_records.isEmpty()) {
        if (!QFile::exists(m_filePath) || QFile::remove(m_filePath))
            return true;
        logError(QStringLiteral("Analytics queue %1 could not be removed.").arg(m_filePath));
        return false;
    }

    QJsonArray entries;
    for (const AnalyticsSignalRecord &record : std::as_const(m_records))
        entries.append(record.toJson());
    const QJsonObject root{{versionKey, fileVersion}, {signalsKey, entries}};

    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSaveFile file(m_filePath);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) >= 0 &&
                         file.commit();
    if (!written) {
        logError(QStringLiteral("Analytics queue %1 could not be saved: %2.")
                     .arg(m_filePath, file.errorString()));
        file.cancelWriting();
    }
    return written;
}

int AnalyticsSignalQueue::append(AnalyticsSignalRecord record)
{
    m_records.append(std::move(record));
    return dropOverflow();
}

QList<AnalyticsSignalRecord> AnalyticsSignalQueue::oldest(int count) const
{
    return m_records.first(std::min<qsizetype>(count, m_records.size()));
}

void AnalyticsSignalQueue::remove(const QSet<QString> &ids)
{
    m_records.removeIf(
        [&ids](const AnalyticsSignalRecord &record) { return ids.contains(record.id); });
}

int AnalyticsSignalQueue::dropOverflow()
{
    const qsizetype excess = m_records.size() - m_maxCount;
    if (excess <= 0)
        return 0;
    m_records.remove(0, excess);
    return int(excess);
}
