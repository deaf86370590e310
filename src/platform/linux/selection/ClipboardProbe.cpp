#include "platform/linux/selection/ClipboardProbe.h"

#include "core/desktop/RunningApplications.h"
#include "core/support/Logging.h"
#include "platform/linux/LinuxDesktopConnections.h"
#include "platform/linux/applications/ActivationWait.h"
#include "platform/linux/clipboard/ClipboardLock.h"
#include "platform/linux/keys/KeySynthesizer.h"

#include <QTextBoundaryFinder>
#include <QTimer>
#include <QUuid>

namespace {

constexpr double activationTimeout = 0.45;
constexpr double retryActivationTimeout = 0.25;
constexpr double pauseAfterKeystroke = 0.02;
constexpr double retryInterval = 0.04;
constexpr double retryWindow = 0.12;
constexpr double copyDeadline = 0.8;
constexpr double pollInterval = 0.02;
constexpr int maxAttempts = 3;
constexpr qint64 slowCopyMilliseconds = 300;

int sentKeystrokes = 0;

qsizetype characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace

void ClipboardProbe::run(Request request, LinuxDesktopConnections &desktop,
                         RunningApplications &applications, std::shared_ptr<KeySynthesizer> keys,
                         Completion done)
{
    auto *probe = new ClipboardProbe(std::move(request), desktop, applications, std::move(keys),
                                     std::move(done));
    QPointer<ClipboardProbe> guard(probe);
    ClipboardLock::acquire([guard] {
        if (guard)
            guard->begin();
        else
            ClipboardLock::release();
    });
}

int ClipboardProbe::activeCount()
{
    return ClipboardLock::count();
}

int ClipboardProbe::keystrokesSent()
{
    return sentKeystrokes;
}

ClipboardProbe::ClipboardProbe(Request request, LinuxDesktopConnections &desktop,
                               RunningApplications &applications,
                               std::shared_ptr<KeySynthesizer> keys, Completion done)
    : m_request(std::move(request))
    , m_x11(desktop.x11)
    , m_clipboard(desktop.clipboard)
    , m_waylandClipboard(desktop.waylandClipboard)
    , m_applications(applications)
    , m_keySynthesizer(std::move(keys))
    , m_done(std::move(done))
{
}

void ClipboardProbe::begin()
{
    m_clock.restart();
    if (cancelled())
        return end(std::nullopt);
    auto &clipboard = m_clipboard;
    m_keys = ClipboardKeys::forProcess(m_request.targetPid, m_x11);
    m_sentinel = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    // The target's windows do not see X11's clipboard: its copy goes to the
    // Wayland clipboard, read and put back there where the compositor lets
    // this process; elsewhere its copy would replace the user's clipboard
    // for good.
    if (const qint32 target = m_request.targetPid;
        target != 0 && !clipboard.reachesWhileFocused(target)) {
        if (m_waylandClipboard.isAvailable())
            return beginOverWayland();
        log(QStringLiteral("copy keystroke not sent (the compositor hands this X11 client's "
                           "clipboard to no Wayland window that has the focus)."));
        m_keysNotice = tr("Wrenlark cannot copy the selection from this app here without "
                          "losing your clipboard.");
        return end(std::nullopt);
    }
    m_snapshot = clipboard.snapshot(QClipboard::Clipboard);
    m_staged = clipboard.stage(m_sentinel, QClipboard::Clipboard);
    m_baseline = clipboard.changeCount(QClipboard::Clipboard);
    if (cancelled()) {
        clipboard.restore(m_snapshot, QClipboard::Clipboard);
        return end(std::nullopt);
    }
    activateTarget();
}

void ClipboardProbe::beginOverWayland()
{
    m_overWayland = true;
    m_waylandClipboard.read(this, [this](std::optional<PasteboardSnapshot> saved) {
        if (cancelled())
            return end(std::nullopt);
        if (!saved) {
            log(QStringLiteral("copy keystroke not sent (the Wayland clipboard could not be "
                               "saved)."));
            return end(std::nullopt);
        }
        m_snapshot = *saved;
        m_sentinelSource =
            m_waylandClipboard.write(DataControlClipboard::textSnapshot(m_sentinel), true);
        if (m_sentinelSource == 0)
            return end(std::nullopt);
        activateTarget();
    });
}

void ClipboardProbe::activateTarget()
{
    const qint32 target = m_request.targetPid;
    if (target != 0 && m_applications.application(target))
        m_applications.activate(target);
    ActivationWait wait{activationTimeout};
    wait.start(this, m_applications, target, m_request.cancellation,
               [this](bool) { afterActivation(); });
}

void ClipboardProbe::restoreUsersClipboard()
{
    if (m_overWayland)
        m_waylandClipboard.write(m_snapshot, false);
    else
        m_clipboard.restore(m_snapshot, QClipboard::Clipboard);
}

void ClipboardProbe::afterActivation()
{
    if (cancelled()) {
        m_applications.restoreFocus(m_request.restorePid);
        restoreUsersClipboard();
        return end(std::nullopt);
    }
    if (!m_keys.copy) {
        // Terminals that have no copy keystroke: typing anything there would
        // reach the running program.
        m_keystrokeError = QStringLiteral("no copy keystroke for this terminal");
        m_deadline = now();
        return endFastPhase();
    }
    m_retryAt = now() + retryInterval;
    if (!postCopy()) {
        m_deadline = now();
        return endFastPhase();
    }
    after(pauseAfterKeystroke, &ClipboardProbe::startKeystrokes);
}

void ClipboardProbe::startKeystrokes()
{
    m_deadline = now() + copyDeadline;
    m_retryWindowEnd = now() + retryWindow;
    m_attempts = 1;
    fastTick();
}

void ClipboardProbe::fastTick()
{
    if (now() >= m_retryWindowEnd || now() >= m_deadline || cancelled())
        return endFastPhase();
    if (pollForText())
        return endFastPhase();
    if (m_attempts < maxAttempts && now() >= m_retryAt) {
        const qint32 target = m_request.targetPid;
        if (target != 0 && m_applications.frontmostPid() != target) {
            m_applications.activate(target);
            ActivationWait wait{retryActivationTimeout};
            wait.start(this, m_applications, target, m_request.cancellation,
                       [this](bool) { retryCopy(); });
            return;
        }
        return retryCopy();
    }
    after(pollInterval, &ClipboardProbe::fastTick);
}

void ClipboardProbe::retryCopy()
{
    // After a slow re-activation the window for retries may have closed.
    if (cancelled() || now() >= m_retryWindowEnd || now() >= m_deadline)
        return endFastPhase();
    if (!postCopy())
        return endFastPhase();
    QTimer::singleShot(secondsToMilliseconds(pauseAfterKeystroke), this, [this] {
        ++m_attempts;
        m_retryAt = now() + retryInterval;
        after(pollInterval, &ClipboardProbe::fastTick);
    });
}

void ClipboardProbe::endFastPhase()
{
    m_postCopyCount = m_clipboard.changeCount(QClipboard::Clipboard);
    m_applications.restoreFocus(m_request.restorePid);
    if (m_text)
        return finish();
    m_mode = QStringLiteral("plain");
    slowTick();
}

// A cancelled probe whose copy keystrokes went out waits for them to land
// before it puts the user's clipboard back: a copy landing after it would
// replace the user's clipboard for good.
void ClipboardProbe::slowTick()
{
    if (cancelled() ? !copyStillExpected() : (now() >= m_deadline || pollForText()))
        return finish();
    after(pollInterval, &ClipboardProbe::slowTick);
}

void ClipboardProbe::finish()
{
    auto &clipboard = m_clipboard;
    if (!m_text && !cancelled() && changed() && !heldByAnotherProcess() && !m_overWayland) {
        m_text = clipboard.richText(QClipboard::Clipboard, m_sentinel);
        if (m_text)
            m_mode = QStringLiteral("rich");
    }
    if (cancelled()) {
        std::optional<QString> captured = m_text;
        // Text that arrived after the cancellation counts as this probe's
        // copy only when the target wrote it: a copy the user made in
        // another application meanwhile must survive.
        if (!captured && copiedByTarget() && !m_overWayland)
            captured = clipboard.plainText(QClipboard::Clipboard, m_sentinel);
        if (!captured && copiedByTarget() && !m_overWayland)
            captured = clipboard.richText(QClipboard::Clipboard, m_sentinel);
        decideRestore(captured);
        return end(std::nullopt);
    }
    decideRestore(m_text);
    const QString app = m_applications.logDescription(m_request.targetPid);
    const qint64 elapsed = m_clock.elapsedMilliseconds();
    if (m_text && m_overWayland)
        log(QStringLiteral("copied through the Wayland clipboard textLen=%1 elapsed=%2ms")
                .arg(characterCount(*m_text))
                .arg(elapsed));
    if (m_text) {
        if (elapsed >= slowCopyMilliseconds || m_attempts >= maxAttempts) {
            log(QStringLiteral("slow-copy reason=%1 target=%2 attempts=%3 firstChangeMs=%4 "
                               "mode=%5 textLen=%6 elapsed=%7ms")
                    .arg(m_request.reason, app)
                    .arg(m_attempts)
                    .arg(m_firstChangeMs)
                    .arg(m_mode)
                    .arg(characterCount(*m_text))
                    .arg(elapsed));
        }
    } else {
        if (!m_keystrokeError.isEmpty())
            log(QStringLiteral("copy keystroke not sent (%1).").arg(m_keystrokeError));
        log(QStringLiteral("copy-failed reason=%1 target=%2 attempts=%3 firstChangeMs=%4 "
                           "elapsed=%5ms")
                .arg(m_request.reason, app)
                .arg(m_attempts)
                .arg(m_firstChangeMs)
                .arg(elapsed));
    }
    end(m_text);
}

// Every copy keystroke sent (retries too) may land until the deadline, each
// replacing the clipboard again.
bool ClipboardProbe::copyStillExpected() const
{
    return m_copySent && now() < m_deadline;
}

// Wayland names no owner of its clipboard: a change after the copy
// keystroke is taken for the target's.
bool ClipboardProbe::copiedByTarget() const
{
    if (m_overWayland)
        return true;
    const qint32 target = m_request.targetPid;
    return target == 0 || m_x11.selectionOwnerPid("CLIPBOARD") == target;
}

bool ClipboardProbe::heldByAnotherProcess() const
{
    const qint32 target = m_request.targetPid;
    if (target == 0 || m_overWayland || !changed())
        return false;
    const qint32 owner = m_x11.selectionOwnerPid("CLIPBOARD");
    return owner != 0 && owner != target && owner != m_applications.ownPid();
}

bool ClipboardProbe::changed() const
{
    if (m_overWayland)
        return !m_waylandClipboard.holds(m_sentinelSource);
    return m_clipboard.changeCount(QClipboard::Clipboard) != m_baseline;
}

bool ClipboardProbe::pollForText()
{
    // A copy made in another application is the user's, not the target's
    // answer: it is neither taken as the selection nor overwritten later.
    if (!changed() || heldByAnotherProcess())
        return false;
    if (m_firstChangeMs < 0)
        m_firstChangeMs = m_clock.elapsedMilliseconds();
    if (m_overWayland)
        return readWaylandText();
    m_text = m_clipboard.plainText(QClipboard::Clipboard, m_sentinel);
    if (m_text) {
        m_mode = QStringLiteral("plain");
        return true;
    }
    m_changeWithoutText = true;
    return false;
}

// The Wayland clipboard is read without waiting: a read is started, and a
// later poll finds its text.
bool ClipboardProbe::readWaylandText()
{
    if (m_text)
        return true;
    if (m_readingText)
        return false;
    m_readingText = true;
    m_waylandClipboard.read(this,
                            [this](std::optional<PasteboardSnapshot> copied) {
                                m_readingText = false;
                                const QString text =
                                    copied && !copied->isEmpty()
                                        ? QString::fromUtf8(copied->items.first().first().second)
                                        : QString();
                                if (!text.isEmpty() && text != m_sentinel)
                                    m_text = text;
                                else
                                    m_changeWithoutText = true;
                            },
                            1000,
                            {QStringLiteral("text/plain;charset=utf-8"),
                             QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain")});
    return false;
}

// Never types into another application: Ctrl+C in a terminal interrupts
// its program.
bool ClipboardProbe::postCopy()
{
    KeySynthesizer &keys = *m_keySynthesizer;
    const qint32 target = m_request.targetPid;
    if (target != 0 && !keys.reaches(target)) {
        m_keystrokeError = keys.mechanismDescription() + QStringLiteral(" keys do not reach it");
        m_keysNotice = tr("Wrenlark cannot copy the selection from this app here.");
        return false;
    }
    if (const qint32 frontmost = m_applications.frontmostPid();
        target != 0 && frontmost != 0 && frontmost != target) {
        m_keystrokeError = QStringLiteral("another window is in front (%1)")
                               .arg(m_applications.logDescription(frontmost));
        if (m_attempts == 0)
            m_keysNotice = tr("Wrenlark could not read the selection: the app did not come to "
                              "the front.");
        return false;
    }
    QString error;
    if (keys.sendChord(*m_keys.copy, &error)) {
        ++sentKeystrokes;
        m_copySent = true;
        return true;
    }
    m_keystrokeError = error;
    m_keysNotice = error;
    return false;
}

void ClipboardProbe::after(double seconds, void (ClipboardProbe::*step)())
{
    QTimer::singleShot(secondsToMilliseconds(seconds), this, step);
}

void ClipboardProbe::decideRestore(const std::optional<QString> &captured)
{
    // Wayland names no owner: whatever replaced the sentinel is taken for
    // the target's copy (read or not, as when the probe was cancelled while
    // reading it), and the user's clipboard goes back.
    if (m_overWayland)
        return restoreUsersClipboard();
    if (heldByAnotherProcess())
        return;
    auto &clipboard = m_clipboard;
    bool restore = false;
    if (captured) {
        // Put the user's clipboard back only over the copy this probe caused;
        // anything else on it now was written by somebody else.
        std::optional<QString> current = clipboard.plainText(QClipboard::Clipboard, m_sentinel);
        if (!current)
            current = clipboard.richText(QClipboard::Clipboard, m_sentinel);
        restore = current == captured;
    } else {
        const quint64 count = clipboard.changeCount(QClipboard::Clipboard);
        restore = clipboard.holds(m_staged, QClipboard::Clipboard) ||
                  (m_changeWithoutText && count == m_postCopyCount) || count == m_baseline;
    }
    if (restore)
        clipboard.restore(m_snapshot, QClipboard::Clipboard);
}

void ClipboardProbe::log(const QString &message) const
{
    const QString prefix = m_request.traceID.isEmpty()
                               ? QStringLiteral("Selection clipboard ")
                               : QStringLiteral("Selection clipboard [%1] ").arg(m_request.traceID);
    qCInfo(lcSelection).noquote() << prefix + message;
}

void ClipboardProbe::end(std::optional<QString> text)
{
    auto done = std::move(m_done);
    deleteLater();
    ClipboardLock::release();
    if (done)
        done(std::move(text), m_keysNotice);
}
