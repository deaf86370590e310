#pragma once

#include "core/desktop/PasteboardSnapshot.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class WaylandGlobals;

// The Wayland clipboard (the seat's selection) through the compositor's
// data-control protocol (zwlr_data_control_manager_v1: sway and other
// wlroots compositors, KWin), over a Wayland connection of its own to
// $WAYLAND_DISPLAY, whichever platform plugin Qt runs on. Under XWayland it
// reaches native Wayland windows, which sway hands this process's X11
// clipboard only while an X11 window has the focus.
//
// Nothing here blocks on another client: reading the selection asks the
// compositor for the selection as of now (a bounded round trip), then waits
// for its owner (which may be this very process) in the event loop, and what
// this process serves is written as the reader takes it. The connection
// opens on first use (a bounded wait for the compositor) and reopens after
// the compositor dropped it; it closes once this process holds the
// selection no more, so clipboard changes elsewhere do not wake an idle
// process. Main thread only.
class DataControlClipboard : public QObject
{
    Q_OBJECT

public:
    using ReadDone = std::function<void(std::optional<PasteboardSnapshot>)>;

    // Whether these globals of the compositor hold the protocol and a seat.
    static bool isOfferedBy(const WaylandGlobals &globals);

    DataControlClipboard();
    ~DataControlClipboard() override;

    // Whether the compositor offers the protocol and a seat.
    bool isAvailable();
    // Why it is not available, or what broke last; empty while nothing did.
    QString lastError() const { return m_lastError; }

    // Reads every format the selection offers and calls `done` (unless
    // `context` is gone) with them: an empty snapshot when the selection is
    // empty, nothing when a format did not arrive within `timeoutMs` or the
    // connection broke. With `onlyFirstOf`, only the first of those types
    // the selection offers is read (none: an empty snapshot).
    void read(QObject *context, ReadDone done, int timeoutMs = 2000,
              const QStringList &onlyFirstOf = {});
    // `text` in the formats Wayland and X11 clients ask for.
    static PasteboardSnapshot textSnapshot(const QString &text);
    // Makes `snapshot` the selection, served by this process from now on;
    // `transient` asks clipboard managers not to keep it. Returns the
    // source's number, 0 when the selection could not be set.
    quint64 write(const PasteboardSnapshot &snapshot, bool transient);
    // Whether the selection is still the one write() returned `source` for.
    bool holds(quint64 source) const;
    // Whether a client took a text format of `source` since the last call
    // of watchForFetch(source) (or since written).
    bool wasFetched(quint64 source) const;
    void watchForFetch(quint64 source);

private:
    struct Connection;
    struct Source;
    class PipeReader;
    class SelectionRead;

    bool ensureConnected();
    std::unique_ptr<Connection> connectToCompositor(QString *error);
    void disconnect(const QString &reason);
    void onReadable();
    bool flush();

    void serve(quint64 source, const QString &mimeType, int fd);
    void releaseWhenIdle();

    std::unique_ptr<Connection> m_connection;
    QHash<quint64, std::shared_ptr<Source>> m_sources;
    quint64 m_lastSource = 0;
    int m_readsInFlight = 0;
    QString m_lastError;
};
