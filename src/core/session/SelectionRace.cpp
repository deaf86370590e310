#include "core/session/SelectionRace.h"

#include <algorithm>

SelectionRace::SelectionRace(QUuid requestID, const QList<Reader> &readers, QObject *parent)
    : AsyncOperation(parent)
    , m_requestID(requestID)
{
    setCancelHandler([this] { cancelReaders(); });
    for (const Reader &reader : readers) {
        reader.fetch->setParent(this);
        const int index = int(m_entries.size());
        m_entries.append({reader.source, reader.fetch, false});
        connect(reader.fetch, &SelectionFetch::finished, this,
                [this, index] { readerFinished(index); });
    }
    if (m_entries.isEmpty())
        finish(noSource, SelectionResult::empty());
}

SelectionRace::~SelectionRace()
{
    cancelReaders();
}

void SelectionRace::readerFinished(int index)
{
    Entry &entry = m_entries[index];
    entry.done = true;
    if (isFinished() || !entry.fetch)
        return;
    // A reader cancelled from elsewhere delivered nothing.
    if (!entry.fetch->wasCancelled()) {
        const SelectionResult &result = entry.fetch->result();
        if (result.context) {
            finish(entry.source, result);
            return;
        }
        if (!m_firstWithoutContext)
            m_firstWithoutContext.emplace(entry.source, result);
    }
    const bool allDone =
        std::all_of(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return e.done; });
    if (!allDone)
        return;
    if (m_firstWithoutContext)
        finish(m_firstWithoutContext->first, m_firstWithoutContext->second);
    else
        finish(noSource, SelectionResult::empty());
}

void SelectionRace::finish(const QString &source, const SelectionResult &result)
{
    m_source = source;
    m_result = result;
    end(State::succeeded);
    cancelReaders();
}

void SelectionRace::cancelReaders()
{
    for (Entry &entry : m_entries) {
        if (entry.fetch && !entry.fetch->isFinished())
            entry.fetch->cancel();
    }
}
