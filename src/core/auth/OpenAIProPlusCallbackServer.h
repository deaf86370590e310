#pragma once

#include "core/auth/OpenAIProPlusAuthError.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>
#include <variant>

class QTcpServer;
class QTimer;

// The local HTTP listener that receives the browser's redirect at the end of
// a browser sign-in. It listens on the loopback addresses only (127.0.0.1 and
// ::1, as browsers resolve "localhost" to either), answers every request with
// a small HTML page, and ends with the first redirect that carries this
// sign-in's state, with its code or the authority's error. Any other request
// (another path, a wrong or missing state, a malformed or incomplete head) is
// answered and the wait goes on: a web page the user visits meanwhile can
// reach this port too. One server per sign-in; everything runs on the thread
// that owns it.
class OpenAIProPlusCallbackServer : public QObject
{
    Q_OBJECT

public:
    // The authorization code, or why there is none.
    using Outcome = std::variant<QString, OpenAIProPlusAuthError>;

    // A request head larger than this is refused without reading further.
    static constexpr qsizetype maximumRequestHeadBytes = 64 * 1024;

    // What one client may hold: a connection that has not sent a whole head
    // within `headTimeoutMilliseconds` is dropped, and connections beyond
    // `maximumConnections` wait in the listener's queue until one ends.
    struct Limits
    {
        int headTimeoutMilliseconds = 10'000;
        int maximumConnections = 16;
        // After accept() fails (no file descriptors left), how long the
        // listeners rest before they try again.
        int acceptRetryMilliseconds = 500;
    };

    // Port 0 picks a free port (tests); port() then tells which after start().
    OpenAIProPlusCallbackServer(quint16 port, QString expectedState, QObject *parent = nullptr);
    OpenAIProPlusCallbackServer(quint16 port, QString expectedState, Limits limits,
                                QObject *parent = nullptr);
    ~OpenAIProPlusCallbackServer() override;

    quint16 port() const { return m_port; }
    QString expectedState() const { return m_expectedState; }

    // Starts listening. Fails (listenFailed, addressInUse when the port is
    // taken on either loopback address) and listens nowhere when 127.0.0.1
    // cannot be bound; a host without IPv6 is served on 127.0.0.1 alone.
    std::optional<OpenAIProPlusAuthError> start();

    // Starts the wait for the redirect; finished() follows with the first of
    // a code, an error from a request, or callbackTimeout after `timeoutSeconds`.
    // An outcome that arrived before the wait began is kept and ends the wait
    // at once.
    void waitForCode(double timeoutSeconds);

    // Stops listening and drops connections that have not been answered yet.
    void stop();

    QList<QHostAddress> listeningAddresses() const;
    // Connections accepted and not yet answered or dropped.
    int openConnectionCount() const;

    // The answer to one complete request head, and the outcome it carries
    // when it ends the wait (only a redirect with the expected state does).
    struct Page
    {
        int statusCode;
        QString html;
        std::optional<Outcome> outcome;
    };
    Page answer(const QByteArray &head) const;
    const std::optional<Outcome> &outcome() const { return m_outcome; }

Q_SIGNALS:
    // The wait has ended; outcome() holds the code or the error. Emitted once.
    void finished();

private:
    class Connection;

    bool listenOn(const QHostAddress &address, OpenAIProPlusAuthError *error);
    void acceptConnections();
    void acceptFailed();
    void connectionEnded();
    void closeListeners();
    void finish(const Outcome &outcome);
    void emitFinished();

    quint16 m_port;
    const QString m_expectedState;
    const Limits m_limits;
    QList<QTcpServer *> m_listeners;
    QList<QPointer<Connection>> m_connections;
    QTimer *m_timeout;
    QTimer *m_acceptRetry;
    std::optional<Outcome> m_outcome;
    bool m_waiting = false;
    bool m_didFinish = false;
};
