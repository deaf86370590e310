#include "platform/linux/replacement/PasteOperation.h"

#include "core/desktop/RunningApplications.h"
#include "core/support/Logging.h"
#include "platform/linux/LinuxDesktopConnections.h"
#include "platform/linux/applications/ActivationWait.h"
#include "platform/linux/clipboard/ClipboardLock.h"
#include "platform/linux/keys/KeySynthesizer.h"

#include <QPointer>
#include <QTimer>
#include <algorithm>

namespace {

constexpr double pollInterval = 0.02;

} // namespace

void PasteOperation::start(const QString &text, qint32 pid, LinuxDesktopConnections &desktop,
                           RunningApplications &applications, std::shared_ptr<KeySynthesizer> keys,
                           CancellationFlag cancellation, Dispatched dispatched,
                           const Timing &timing)
{
    auto *operation = new PasteOperation(text, pid, desktop, applications, std::move(keys),
                                         std::move(cancellation), std::move(dispatched), timing);
    QPointer<PasteOperation> guard(operation);
    ClipboardLock::acquire([guard] {
        if (guard)
            guard->begin();
        else
            ClipboardLock::release();
    });
}

PasteOperation::PasteOperation(const QString &text, qint32 pid, LinuxDesktopConnections &desktop,
                               RunningApplications &applications,
                               std::shared_ptr<KeySynthesizer> keys, CancellationFlag cancellation,
                               Dispatched dispatched, const Timing &timing)
    : m_text(text)
    , m_pid(pid)
    , m_desktop(desktop)
    , m_applications(applications)
    , m_keySynthesizer(std::move(keys))
    , m_cancellation(std::move(cancellation))
    , m_dispatched(std::move(dispatched))
    , m_timing(timing)
{
}

void PasteOperation::begin()
{
    if (m_cancellation.isCancelled())
        return end();
    m_keys = ClipboardKeys::forProcess(m_pid, m_desktop.x11);
    m_clipboard = PasteClipboard::forTarget(
        m_pid, m_keys.pasteReadsPrimary ? QClipboard::Selection : QClipboard::Clipboard, m_desktop);
    // Said while the bar still has the focus, so the reply left on the
    // clipboard reaches the compositor.
    if (const QString unreachable = whyUnreachable(); !unreachable.isEmpty()) {
        qCWarning(lcReplacement).noquote()
            << QStringLiteral("Replacement: paste not sent, ") + unreachable;
        return leaveReplyOnClipboard(
            tr("Wrenlark cannot paste into this app here; the reply is on the clipboard."));
    }
    m_clipboard->save(this, [this](bool saved) {
        if (!saved) {
            qCWarning(lcReplacement).noquote()
                << QStringLiteral("Replacement: paste not sent, the clipboard could not be saved.");
            m_dispatched(false, tr("Nothing was pasted: your clipboard could not be saved."));
            return end();
        }
        stageAndActivate();
    });
}

void PasteOperation::stageAndActivate()
{
    if (m_cancellation.isCancelled())
        return end();
    if (!m_clipboard->stage(m_text)) {
        qCWarning(lcReplacement).noquote()
            << QStringLiteral("Replacement: failed to stage paste text on clipboard.");
        m_clipboard->restore();
        m_dispatched(false, {});
        return end();
    }
    if (m_pid != 0)
        m_applications.activate(m_pid);
    ActivationWait wait{m_timing.activationTimeout,
                        std::max(m_timing.pauseWhenActive, m_clipboard->settleSeconds()),
                        m_timing.pauseWithoutTarget};
    wait.start(this, m_applications, m_pid, m_cancellation, [this](bool active) { paste(active); });
}

void PasteOperation::paste(bool targetActive)
{
    if (m_cancellation.isCancelled()) {
        restore();
        return end();
    }
    if (m_pid != 0 && !targetActive) {
        qCInfo(lcReplacement).noquote()
            << QStringLiteral("Replacement: target app did not become frontmost before paste.");
        if (anotherWindowIsInFront())
            return leaveReplyOnClipboard(
                tr("Nothing was pasted: the app did not come to the front. The reply is on the "
                   "clipboard."));
    }
    KeySynthesizer &keys = *m_keySynthesizer;
    m_clipboard->watchForFetch();
    QString error;
    if (!keys.sendChord(m_keys.paste, &error)) {
        qCWarning(lcReplacement).noquote()
            << QStringLiteral("Replacement: paste keystroke %1 not sent (%2).")
                   .arg(m_keys.paste.toString(), error);
        return leaveReplyOnClipboard(
            error.isEmpty() ? tr("Wrenlark cannot paste here; the reply is on the clipboard.")
                            : error + u' ' + tr("The reply is on the clipboard."));
    }
    m_sinceKeystroke.restart();
    m_dispatched(true, {});
    waitForFetch();
}

// Why a paste into the target could not deliver the reply; empty when it can.
QString PasteOperation::whyUnreachable() const
{
    if (m_pid == 0)
        return {};
    KeySynthesizer &keys = *m_keySynthesizer;
    if (!keys.reaches(m_pid))
        return QStringLiteral("%1 keys do not reach the target's windows.")
            .arg(keys.mechanismDescription());
    if (!m_clipboard->reaches(m_pid))
        return QStringLiteral("the compositor hands this X11 client's clipboard to no Wayland "
                              "window that has the focus.");
    return {};
}

// Typing the paste key now would paste into whatever has the focus; when
// the desktop cannot say which window that is (0), the target is trusted.
bool PasteOperation::anotherWindowIsInFront()
{
    const qint32 frontmost = m_applications.frontmostPid();
    if (frontmost == 0 || frontmost == m_pid)
        return false;
    qCWarning(lcReplacement).noquote()
        << QStringLiteral("Replacement: paste not sent, another window is in front (%1).")
               .arg(m_applications.logDescription(frontmost));
    return true;
}

// The user asked for the reply to go in place of the selection; when it
// cannot be typed there, it waits on the clipboard (a plain copy, which
// clipboard managers may keep) and the selection stays as it was.
void PasteOperation::leaveReplyOnClipboard(const QString &reason)
{
    const bool placed = m_clipboard->copy(m_text);
    if (!placed)
        m_clipboard->restore();
    m_dispatched(false, placed ? reason : QString());
    end();
}

void PasteOperation::waitForFetch()
{
    const double elapsed = m_sinceKeystroke.elapsedSeconds();
    const bool fetched = m_clipboard->wasFetched();
    if (elapsed >= m_timing.earliestRestore && fetched) {
        restore();
        return end();
    }
    if (elapsed >= m_timing.latestRestore) {
        qCInfo(lcReplacement).noquote()
            << QStringLiteral("Replacement: target did not fetch the pasted text in time.");
        restore();
        return end();
    }
    QTimer::singleShot(secondsToMilliseconds(pollInterval), this, &PasteOperation::waitForFetch);
}

void PasteOperation::restore()
{
    m_clipboard->restore();
}

void PasteOperation::end()
{
    deleteLater();
    ClipboardLock::release();
}
