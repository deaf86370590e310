#pragma once

#include "core/desktop/CancellationFlag.h"
#include "core/desktop/PasteboardSnapshot.h"
#include "core/support/MonotonicClock.h"
#include "platform/linux/applications/ClipboardKeys.h"
#include "platform/linux/replacement/PasteClipboard.h"

#include <QObject>
#include <functional>
#include <memory>

class KeySynthesizer;
class RunningApplications;

// Pastes text into an application: saves the clipboard the application
// reads (PasteClipboard), stages the text on it, brings the target to the front, types its paste
// keystroke, and puts the user's clipboard back once the target has fetched the text (never sooner
// than 0.25 s after the keystroke; after a few seconds at most for a target that never fetches).
// The clipboard is put back only while it still holds the staged text: a copy the user made
// meanwhile is kept. Holds the process-wide clipboard lock from the save to the restore. The
// keystroke is never sent while a window of another application is known to be in front.
class PasteOperation : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        double activationTimeout = 0.45;
        double pauseWhenActive = 0.06;
        double pauseWithoutTarget = 0.08;
        double earliestRestore = 0.25;
        double latestRestore = 3.0;
    };
    // Called once: true when the keystroke was sent, false when nothing was.
    // When nothing could be typed, or the target did not come to the front
    // while another window did, the reply is left on the clipboard for the
    // user to paste, and `failureMessage` says so; otherwise the user's
    // clipboard is back already. Not called when cancelled first.
    using Dispatched = std::function<void(bool sent, const QString &failureMessage)>;

    static void start(const QString &text, qint32 pid, LinuxDesktopConnections &desktop,
                      RunningApplications &applications, std::shared_ptr<KeySynthesizer> keys,
                      CancellationFlag cancellation, Dispatched dispatched, const Timing &timing);

private:
    PasteOperation(const QString &text, qint32 pid, LinuxDesktopConnections &desktop,
                   RunningApplications &applications, std::shared_ptr<KeySynthesizer> keys,
                   CancellationFlag cancellation, Dispatched dispatched, const Timing &timing);

    void begin();
    void stageAndActivate();
    void paste(bool targetActive);
    QString whyUnreachable() const;
    bool anotherWindowIsInFront();
    void leaveReplyOnClipboard(const QString &reason);
    void waitForFetch();
    void restore();
    void end();

    QString m_text;
    qint32 m_pid;
    LinuxDesktopConnections &m_desktop;
    RunningApplications &m_applications;
    const std::shared_ptr<KeySynthesizer> m_keySynthesizer;
    CancellationFlag m_cancellation;
    Dispatched m_dispatched;
    Timing m_timing;
    ClipboardKeys m_keys;
    std::unique_ptr<PasteClipboard> m_clipboard;
    MonotonicStopwatch m_sinceKeystroke;
};
