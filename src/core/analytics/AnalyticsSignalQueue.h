#pragma once

#include "core/analytics/AnalyticsSignalRecord.h"

#include <QList>
#include <QSet>
#include <QString>

// The signals not yet delivered, oldest first, kept in a JSON file so that
// nothing is lost while the machine is offline or between runs. The queue is
// bounded: beyond `maxCount` the oldest signals are dropped. Not thread-safe;
// the delivery worker owns it.
class AnalyticsSignalQueue
{
public:
    AnalyticsSignalQueue(QString filePath, int maxCount);

    // Replaces the contents with the file's. A missing file is an empty
    // queue; an unreadable or invalid one is logged and ignored (the next
    // save replaces it).
    void load();
    // Writes the whole queue atomically, readable by the owner only. An empty
    // queue removes the file. Failures are logged; returns whether it worked.
    bool save();

    // Appends and returns how many of the oldest signals were dropped to stay
    // within the bound.
    int append(AnalyticsSignalRecord record);
    // Up to `count` of the oldest signals.
    QList<AnalyticsSignalRecord> oldest(int count) const;
    // Removes the signals with these identities (those still present).
    void remove(const QSet<QString> &ids);

    const QList<AnalyticsSignalRecord> &records() const { return m_records; }
    qsizetype size() const { return m_records.size(); }
    bool isEmpty() const { return m_records.isEmpty(); }
    QString filePath() const { return m_filePath; }

private:
    int dropOverflow();

    QString m_filePath;
    int m_maxCount;
    QList<AnalyticsSignalRecord> m_records;
};
