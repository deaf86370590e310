#pragma once

#include "core/desktop/CancellationFlag.h"
#include "core/desktop/PasteboardSnapshot.h"
#include "core/support/MonotonicClock.h"
#include "platform/linux/applications/ClipboardKeys.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class ClipboardAccess;
class DataControlClipboard;
class KeySynthesizer;
class LinuxDesktopConnections;
class RunningApplications;
class StagedMimeData;
class X11Desktop;

// Reads another application's selection by making it copy: saves the whole
// clipboard (X11's, or the Wayland one where X11's does not reach the
// application), puts a sentinel on it, types the application's copy keystroke
// (up to three times in the first 0.12 s), watches for the copied text
// until 0.8 s after the first keystroke, and puts the user's clipboard back
// unless somebody else wrote to it meanwhile.
//
// Probes run one at a time in the whole process (a prefetch and a fallback
// never interleave); each waits for the one before. All of it runs on the
// main thread in 0.02 s slices, so this process answers other clients'
// requests for its clipboard while it waits.
class ClipboardProbe : public QObject
{
    Q_OBJECT

public:
    struct Request
    {
        qint32 targetPid = 0;
        std::optional<qint32> restorePid;
        QString traceID;
        QString reason;
        CancellationFlag cancellation;
    };
    // `keysNotice`: why the copy keystroke could not be typed, for the
    // user; empty when it was typed or the application has none.
    using Completion = std::function<void(std::optional<QString> text, const QString &keysNotice)>;

    // Queues a probe that types the copy keystroke with `keys`; `done` is
    // called on the main thread with the text, or nothing when none was
    // captured or the probe was cancelled.
    static void run(Request request, LinuxDesktopConnections &desktop,
                    RunningApplications &applications, std::shared_ptr<KeySynthesizer> keys,
                    Completion done);

    // Probes waiting or running (for tests and diagnostics).
    static int activeCount();
    // Copy keystrokes typed by all probes so far (for the benchmark).
    static int keystrokesSent();

private:
    ClipboardProbe(Request request, LinuxDesktopConnections &desktop,
                   RunningApplications &applications, std::shared_ptr<KeySynthesizer> keys,
                   Completion done);

    void begin();
    void beginOverWayland();
    void activateTarget();
    void restoreUsersClipboard();
    void afterActivation();
    void startKeystrokes();
    void fastTick();
    void retryCopy();
    void endFastPhase();
    void slowTick();
    void finish();

    bool cancelled() const { return m_request.cancellation.isCancelled(); }
    double now() const { return m_clock.elapsedSeconds(); }
    bool changed() const;
    // Cancelled after a copy keystroke went out: its copy may still land,
    // until the copy's deadline.
    bool copyStillExpected() const;
    bool copiedByTarget() const;
    // Another application (not the target) owns the clipboard now.
    bool heldByAnotherProcess() const;
    // Reads the plain text if the clipboard changed; true once text is held.
    bool pollForText();
    bool readWaylandText();
    bool postCopy();
    void after(double seconds, void (ClipboardProbe::*step)());
    void decideRestore(const std::optional<QString> &captured);
    void log(const QString &message) const;
    void end(std::optional<QString> text);

    Request m_request;
    X11Desktop &m_x11;
    ClipboardAccess &m_clipboard;
    DataControlClipboard &m_waylandClipboard;
    RunningApplications &m_applications;
    const std::shared_ptr<KeySynthesizer> m_keySynthesizer;
    Completion m_done;
    ClipboardKeys m_keys;
    MonotonicStopwatch m_clock;
    PasteboardSnapshot m_snapshot;
    QString m_sentinel;
    QPointer<StagedMimeData> m_staged;
    // The target's windows read the Wayland clipboard, not X11's: the copy
    // goes through DataControlClipboard, the sentinel its source there.
    bool m_overWayland = false;
    quint64 m_sentinelSource = 0;
    bool m_readingText = false;
    quint64 m_baseline = 0;
    quint64 m_postCopyCount = 0;
    double m_retryAt = 0;
    double m_deadline = 0;
    double m_retryWindowEnd = 0;
    int m_attempts = 0;
    bool m_copySent = false;
    qint64 m_firstChangeMs = -1;
    bool m_changeWithoutText = false;
    std::optional<QString> m_text;
    QString m_mode;
    QString m_keystrokeError;
    QString m_keysNotice;
};
