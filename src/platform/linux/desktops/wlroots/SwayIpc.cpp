#include "platform/linux/desktops/wlroots/SwayIpc.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QtEndian>
#include <cstring>

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr qint64 magicSize = sizeof(magic);
constexpr qint64 headerSize = magicSize + 2 * sizeof(quint32);
// Far above any tree sway describes; a length beyond it is a broken stream.
constexpr quint32 maximumPayload = 64u << 20;
// Events carry the high bit; they arrive only after a subscribe.
constexpr quint32 eventBit = 0x80000000u;

QByteArray header(quint32 payloadSize, quint32 type)
{
    QByteArray bytes(magic, magicSize);
    bytes.append(reinterpret_cast<const char *>(&payloadSize), sizeof payloadSize);
    bytes.append(reinterpret_cast<const char *>(&type), sizeof type);
    return bytes;
}

int remaining(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(deadline.remainingTime(), 0));
}

} // namespace

SwayIpc::SwayIpc(QString socketPath, int timeoutMs)
    : m_socketPath(std::move(socketPath))
    , m_timeoutMs(timeoutMs)
{
}

QString SwayIpc::socketFromEnvironment()
{
    return qEnvironmentVariable("SWAYSOCK");
}

bool SwayIpc::connectSocket(int remainingMs)
{
    if (m_socket.state() == QLocalSocket::ConnectedState)
        return true;
    m_socket.abort();
    m_socket.connectToServer(m_socketPath);
    return m_socket.waitForConnected(remainingMs);
}

bool SwayIpc::readExactly(char *data, qint64 size, const QDeadlineTimer &deadline)
{
    qint64 done = 0;
    while (done < size) {
        if (m_socket.bytesAvailable() == 0 &&
            (deadline.hasExpired() || !m_socket.waitForReadyRead(remaining(deadline))))
            return false;
        const qint64 read = m_socket.read(data + done, size - done);
        if (read < 0)
            return false;
        done += read;
    }
    return true;
}

std::optional<QJsonDocument> SwayIpc::fail(const QString &error)
{
    m_lastError = error;
    m_socket.abort();
    return std::nullopt;
}

std::optional<QJsonDocument> SwayIpc::request(Message type, const QByteArray &payload)
{
    if (m_socketPath.isEmpty())
        return fail(QStringLiteral("SWAYSOCK is not set"));
    const QDeadlineTimer deadline(m_timeoutMs);
    if (!connectSocket(remaining(deadline)))
        return fail(
            QStringLiteral("cannot connect to %1: %2").arg(m_socketPath, m_socket.errorString()));
    const auto typeCode = quint32(type);
    m_socket.write(header(quint32(payload.size()), typeCode) + payload);
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(remaining(deadline)))
            return fail(
                QStringLiteral("the request could not be sent: %1").arg(m_socket.errorString()));
    }

    for (;;) {
        char head[headerSize];
        if (!readExactly(head, headerSize, deadline))
            return fail(QStringLiteral("no reply within %1 ms").arg(m_timeoutMs));
        if (std::memcmp(head, magic, magicSize) != 0)
            return fail(QStringLiteral("the reply does not start with \"i3-ipc\""));
        const quint32 size = qFromUnaligned<quint32>(head + magicSize);
        const quint32 replyType = qFromUnaligned<quint32>(head + magicSize + sizeof(quint32));
        if (size > maximumPayload)
            return fail(QStringLiteral("a reply of %1 bytes").arg(size));
        QByteArray body(qsizetype(size), Qt::Uninitialized);
        if (!readExactly(body.data(), size, deadline))
            return fail(QStringLiteral("the reply ended early"));
        if (replyType & eventBit)
            continue;
        if (replyType != typeCode)
            return fail(QStringLiteral("a reply of type %1 to a request of type %2")
                            .arg(replyType)
                            .arg(typeCode));
        QJsonParseError error{};
        QJsonDocument document = QJsonDocument::fromJson(body, &error);
        if (error.error != QJsonParseError::NoError)
            return fail(QStringLiteral("the reply is not JSON: %1").arg(error.errorString()));
        m_lastError.clear();
        return document;
    }
}

bool SwayIpc::runCommand(const QString &command)
{
    const auto reply = request(Message::runCommand, command.toUtf8());
    if (!reply)
        return false;
    const QJsonArray results = reply->array();
    if (results.isEmpty()) {
        m_lastError = QStringLiteral("no result for \"%1\"").arg(command);
        return false;
    }
    for (const QJsonValue result : results) {
        const QJsonObject object = result.toObject();
        if (!object.value(QStringLiteral("success")).toBool()) {
            m_lastError = QStringLiteral("\"%1\": %2")
                              .arg(command, object.value(QStringLiteral("error")).toString());
            return false;
        }
    }
    return true;
}

bool SwayIpc::isAnswering()
{
    const auto reply = request(Message::getVersion);
    return reply && reply->isObject() && reply->object().contains(QStringLiteral("major"));
}
