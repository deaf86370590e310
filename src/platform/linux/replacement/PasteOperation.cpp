#include "platform/linux/replacement/PasteOperation.h"

#include "core/desktop/RunningApplications.h"
#include "core/support/FileLogger.h"
#include "platform/linux/applications/ActivationWait.h"
#include "platform/linux/clipboard/ClipboardAccess.h"
#include "platform/linux/clipboard/ClipboardLock.h"
#include "platform/linux/keys/KeySynthesizer.h"

#include <QTimer>

namespace {

constexpr double pollInterval = 0.02;

} // namespace

void PasteOperation::start(const QString &text, qint32 pid, RunningApplications &applications,
                           CancellationFlag cancellation, Dispatched dispatched,
                           const Timing &timing)
{
    auto *operation = new PasteOperation(text, pid, applications, std::move(cancellation),
                                         std::move(dispatched), timing);
    QPointer<PasteOperation> guard(operation);
    ClipboardLock::acquire([guard] {
        if (guard)
            guard->begin();
        else
            ClipboardLock::release();
    });
}

PasteOperation::PasteOperation(const QString &text, qint32 pid, RunningApplications &applications,
                               CancellationFlag cancellation, Dispatched dispatched,
                               const Timing &timing)
    : m_text(text)
    , m_pid(pid)
    , m_applications(applications)
    , m_cancellation(std::move(cancellation))
    , m_dispatched(std::move(dispatched))
    , m_timing(timing)
{
}

void PasteOperation::begin()
{
    if (m_cancellation.isCancelled())
        return end();
    auto &clipboard = ClipboardAccess::shared();
    m_keys = ClipboardKeys::forProcess(m_pid);
    m_mode = m_keys.pasteReadsPrimary ? QClipboard::Selection : QClipboard::Clipboard;
    m_snapshot = clipboard.snapshot(m_mode);
    m_staged = clipboard.stage(m_text, m_mode);
    if (!m_staged) {
        FileLogger::shared().error(
            QStringLiteral("Replacement: failed to stage paste text on clipboard."));
        clipboard.restore(m_snapshot, m_mode);
        m_dispatched(false);
        return end();
    }
    if (m_pid != 0)
        m_applications.activate(m_pid);
    ActivationWait wait{m_timing.activationTimeout, m_timing.pauseWhenActive,
                        m_timing.pauseWithoutTarget};
    wait.start(this, m_applications, m_pid, m_cancellation, [this](bool active) { paste(active); });
}

void PasteOperation::paste(bool targetActive)
{
    if (m_cancellation.isCancelled()) {
        restore();
        return end();
    }
    if (m_pid != 0 && !targetActive)
        FileLogger::shared().info(
            QStringLiteral("Replacement: target app did not become frontmost before paste."));
    m_staged->watchForFetch();
    QString error;
    if (!KeySynthesizer::current().sendChord(m_keys.paste, &error)) {
        FileLogger::shared().error(QStringLiteral("Replacement: paste keystroke %1 not sent: %2.")
                                       .arg(m_keys.paste.toString(), error));
        restore();
        m_dispatched(false);
        return end();
    }
    m_sinceKeystroke.restart();
    m_dispatched(true);
    waitForFetch();
}

void PasteOperation::waitForFetch()
{
    const double elapsed = m_sinceKeystroke.elapsedSeconds();
    const bool fetched = !m_staged || m_staged->wasFetched();
    if (elapsed >= m_timing.earliestRestore && fetched) {
        restore();
        return end();
    }
    if (elapsed >= m_timing.latestRestore) {
        FileLogger::shared().info(
            QStringLiteral("Replacement: target did not fetch the pasted text in time."));
        restore();
        return end();
    }
    QTimer::singleShot(secondsToMilliseconds(pollInterval), this, &PasteOperation::waitForFetch);
}

void PasteOperation::restore()
{
    auto &clipboard = ClipboardAccess::shared();
    if (clipboard.holds(m_staged, m_mode))
        clipboard.restore(m_snapshot, m_mode);
}

void PasteOperation::end()
{
    deleteLater();
    ClipboardLock::release();
}
