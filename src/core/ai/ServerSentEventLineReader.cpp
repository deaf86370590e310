#include "core/ai/ServerSentEventLineReader.h"

namespace {

qsizetype findLineEnd(QByteArrayView bytes, qsizetype from)
{
    const char *data = bytes.data();
    for (qsizetype i = from; i < bytes.size(); ++i) {
        if (data[i] == '\n' || data[i] == '\r')
            return i;
    }
    return -1;
}

} // namespace

bool ServerSentEventLineReader::feed(QByteArrayView bytes, const LineHandler &onLine)
{
    qsizetype position = 0;
    if (m_skipLeadingLineFeed && !bytes.isEmpty()) {
        m_skipLeadingLineFeed = false;
        if (bytes.front() == '\n')
            position = 1;
    }
    while (position < bytes.size()) {
        const qsizetype end = findLineEnd(bytes, position);
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
