#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QString>
#include <optional>

// A client of sway's IPC (the i3 protocol: "i3-ipc", payload length and
// message type as 32-bit integers in the host's byte order, a JSON payload)
// over the unix socket SWAYSOCK names. Requests block for a bounded time: the
// compositor is a local process that answers in a millisecond or two. Main
// thread only.
class SwayIpc
{
public:
    enum class Message : quint32 {
        runCommand = 0,
        getWorkspaces = 1,
        getOutputs = 3,
        getTree = 4,
        getVersion = 7,
    };

    static constexpr int defaultTimeoutMs = 200;

    explicit SwayIpc(QString socketPath, int timeoutMs = defaultTimeoutMs);

    // SWAYSOCK of this process's environment; empty when unset.
    static QString socketFromEnvironment();

    QString socketPath() const { return m_socketPath; }

    // Sends one request and waits for its reply. Absent when the socket
    // cannot be reached, the reply is late or malformed, or it answers
    // another request; lastError() says which. After a failure the
    // connection is dropped, so a late reply is never taken for the next.
    std::optional<QJsonDocument> request(Message type, const QByteArray &payload = {});

    // Runs a sway command (e.g. "[con_id=7] focus"); true when every command
    // of it succeeded.
    bool runCommand(const QString &command);

    // Whether a compositor answers on the socket (it tells its version).
    bool isAnswering();

    QString lastError() const { return m_lastError; }

private:
    bool connectSocket(int remainingMs);
    bool readExactly(char *data, qint64 size, const QDeadlineTimer &deadline);
    std::optional<QJsonDocument> fail(const QString &error);

    QString m_socketPath;
    int m_timeoutMs;
    QLocalSocket m_socket;
    QString m_lastError;
};
