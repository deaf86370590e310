#pragma once

#include "core/desktop/SelectionFetch.h"
#include "core/desktop/SelectionResult.h"
#include "core/support/AsyncOperation.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <optional>

// Several selection readers racing for one detection (the accessibility
// reader and the clipboard probe in browser-like hosts). Results are taken in
// the order the readers finish: the first one that carries a context wins and
// the other readers are cancelled. When none carries a context, the first
// result received stands (it may report a missing permission); when no reader
// delivered anything, the source is "none" with an empty result.
//
// It ends exactly once, and cancel() ends it without a result (never a
// failure), cancelling the readers.
class SelectionRace : public AsyncOperation
{
    Q_OBJECT

public:
    struct Reader
    {
        // Names the reader in log lines ("ax", "clipboard").
        QString source;
        SelectionFetch *fetch = nullptr;
    };

    static inline const QString noSource = QStringLiteral("none");

    // Takes ownership of the readers' fetches.
    SelectionRace(QUuid requestID, const QList<Reader> &readers, QObject *parent = nullptr);
    ~SelectionRace() override;

    QUuid requestID() const { return m_requestID; }
    bool wasCancelled() const { return state() == State::cancelled; }
    // The winner once finished.
    QString source() const { return m_source; }
    const SelectionResult &result() const { return m_result; }

private:
    struct Entry
    {
        QString source;
        QPointer<SelectionFetch> fetch;
        bool done = false;
    };

    void readerFinished(int index);
    void finish(const QString &source, const SelectionResult &result);
    void cancelReaders();

    QUuid m_requestID;
    QList<Entry> m_entries;
    std::optional<std::pair<QString, SelectionResult>> m_firstWithoutContext;
    QString m_source = noSource;
    SelectionResult m_result;
};
