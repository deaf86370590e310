#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// Splits a server-sent-event body into lines as its bytes arrive. A line ends
// at LF, CR or CRLF, also when the CR and the LF come in different reads.
// Lines are whole bytes: a UTF-8 character split between two reads is joined
// again before anyone decodes it. Each byte is looked at about twice, and only the
// unfinished tail of a read is kept, so the cost is linear in the input.
class ServerSentEventLineReader
{
public:
    // Receives one line without its terminator; answers false to stop. The
    // view is valid only during the call.
    using LineHandler = std::function<bool(QByteArrayView line)>;

    // Hands every line completed by `bytes` to `onLine`, in order. Answers
    // false when `onLine` asked to stop; the reader must not be used after.
    bool feed(QByteArrayView bytes, const LineHandler &onLine);

    // At the end of the body: hands on the last line if it had no terminator.
    bool finish(const LineHandler &onLine);

    // The bytes of the line still waiting for its terminator.
    qsizetype unfinishedLineSize() const { return m_unfinishedLine.size(); }

private:
    QByteArray m_unfinishedLine;
    // The previous read ended with CR: an LF at the start of the next one
    // belongs to it.
    bool m_skipLeadingLineFeed = false;
};
