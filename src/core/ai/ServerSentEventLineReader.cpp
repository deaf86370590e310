#include "core/ai/ServerSentEventLineReader.h"

#include <cstring>

namespace {

// Finds line ends in one read with memchr, which scans many bytes at a time.
// The next LF is remembered, so a body whose lines end in CR alone is not
// scanned to its end for every line: each byte is looked at about twice.
class LineEndFinder
{
public:
    explicit LineEndFinder(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    // The first LF or CR at or after `from`; -1 when there is none.
    qsizetype find(qsizetype from)
    {
        const char *data = m_bytes.data();
        if (m_lineFeed < from) {
            const auto *found = static_cast<const char *>(
                std::memchr(data + from, '\n', size_t(m_bytes.size() - from)));
            m_lineFeed = found ? found - data : m_bytes.size();
        }
        if (const auto *carriageReturn = static_cast<const char *>(
                std::memchr(data + from, '\r', size_t(m_lineFeed - from))))
            return carriageReturn - data;
        return m_lineFeed < m_bytes.size() ? m_lineFeed : -1;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_lineFeed = -1;
};

} // namespace

bool ServerSentEventLineReader::feed(QByteArrayView bytes, const LineHandler &onLine)
{
    qsizetype position = 0;
    if (m_skipLeadingLineFeed && !bytes.isEmpty()) {
        m_skipLeadingLineFeed = false;
        if (bytes.front() == '\n')
            position = 1;
    }
    LineEndFinder lineEnds(bytes);
    while (position < bytes.size()) {
        const qsizetype end = lineEnds.find(position);
        if (end < 0) {
            m_unfinishedLine.append(bytes.sliced(position));
            return true;
        }
        const QByteArrayView rest = bytes.sliced(position, end - position);
        if (bytes[end] == '\r' && end + 1 == bytes.size())
            m_skipLeadingLineFeed = true;
        position = end + 1;
        if (bytes[end] == '\r' && position < bytes.size() && bytes[position] == '\n')
            ++position;

        // The handler may end this reader's owner, so nothing of `this` is
        // touched after it asks to stop.
        if (m_unfinishedLine.isEmpty()) {
            if (!onLine(rest))
                return false;
        } else {
            QByteArray line = std::exchange(m_unfinishedLine, QByteArray());
            line.append(rest);
            if (!onLine(line))
                return false;
        }
    }
    return true;
}

bool ServerSentEventLineReader::finish(const LineHandler &onLine)
{
    m_skipLeadingLineFeed = false;
    if (m_unfinishedLine.isEmpty())
        return true;
    const QByteArray line = std::exchange(m_unfinishedLine, QByteArray());
    return onLine(line);
}
