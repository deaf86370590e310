#pragma once

#include <QByteArray>
#include <QIODevice>

// A request body that can be read once and never rewound.
//
// Qt's HTTP/1.1 connection sends a request again on its own when the server
// closes the connection while the channel still waits for the response (the
// close is taken for a stale keep-alive connection), whatever the method, and
// also when it fails to parse a response's head; every such resend first
// rewinds the upload body. A body that cannot be rewound turns each of those
// resends into a ContentReSendError failure, so the server never sees a
// request twice from one attempt behind the attempt's back: the attempt
// decides for itself the one case where sending again is safe.
class SinglePassRequestBody : public QIODevice
{
    Q_OBJECT

public:
    explicit SinglePassRequestBody(QByteArray bytes, QObject *parent = nullptr);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 size() const override { return m_bytes.size(); }
    // Rewinding is refused; so is seeking, without Qt's warning.
    bool reset() override { return false; }
    bool seek(qint64) override { return false; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_position = 0;
};
