#include "platform/linux/replacement/LinuxReplacementService.h"

#include "core/desktop/RunningApplications.h"
#include "core/desktop/TargetAppClassifier.h"
#include "core/support/Logging.h"
#include "platform/linux/LinuxDesktopConnections.h"
#include "platform/linux/replacement/AtspiTextWriter.h"
#include "platform/linux/selection/AtspiElement.h"
#include "platform/linux/selection/AtspiWorker.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

void logInfo(const QString &message)
{
    qCInfo(lcReplacement).noquote() << message;
}

} // namespace

LinuxReplacementService::LinuxReplacementService(LinuxDesktopConnections &desktop,
                                                 std::shared_ptr<RunningApplications> applications,
                                                 std::shared_ptr<TargetAppClassifier> classifier,
                                                 std::shared_ptr<KeySynthesizer> keys,
                                                 QObject *parent)
    : QObject(parent)
    , m_desktop(desktop)
    , m_applications(std::move(applications))
    , m_classifier(std::move(classifier))
    , m_keys(std::move(keys))
{
}

ReplacementOperation *LinuxReplacementService::replaceSelection(const SelectionContext &context,
                                                                const QString &text,
                                                                QObject *parent)
{
    auto *operation = new ReplacementOperation(parent);
    const CancellationFlag cancellation;
    operation->setCancelHandler([cancellation] { cancellation.cancel(); });
    const qint32 pid = context.pid;
    logInfo(QStringLiteral("Replacement target ") + (pid == 0
                                                         ? QStringLiteral("pid=0 bundle=unresolved")
                                                         : m_applications->logDescription(pid)));

    if (m_classifier->isBrowserLikeHostProcess(pid)) {
        logInfo(
            QStringLiteral("Replacement: using paste fallback for browser/editor host process."));
        paste(operation, text, pid, cancellation);
        return operation;
    }
    auto element = std::dynamic_pointer_cast<const AtspiElement>(context.element);
    if (!element) {
        logInfo(QStringLiteral("Replacement: AX update failed, falling back to paste."));
        paste(operation, text, pid, cancellation);
        return operation;
    }

    QPointer<ReplacementOperation> guard(operation);
    QPointer<LinuxReplacementService> self(this);
    const auto range = context.selectedRange;
    const QString expected = context.selectedText;
    m_desktop.atspi.post([=] {
        if (cancellation.isCancelled())
            return;
        QString message;
        QStringList notes;
        if (range) {
            const auto outcome = AtspiTextWriter::replaceRange(*element, *range, expected, text);
            if (outcome.written)
                message = QStringLiteral("Replacement: AX value range update succeeded.");
            else
                notes << QStringLiteral("range: ") + outcome.note;
        }
        if (message.isEmpty()) {
            const auto outcome = AtspiTextWriter::replaceSelection(*element, text);
            if (outcome.written)
                message = QStringLiteral("Replacement: AX selected text update succeeded.");
            else
                notes << QStringLiteral("selection: ") + outcome.note;
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [=] {
                if (!message.isEmpty()) {
                    logInfo(message);
                    if (guard)
                        guard->finish(true);
                    return;
                }
                logInfo(QStringLiteral("Replacement: AX update skipped (%1).")
                            .arg(notes.join(QStringLiteral("; "))));
                logInfo(QStringLiteral("Replacement: AX update failed, falling back to paste."));
                if (guard && self && !guard->isFinished())
                    self->paste(guard, text, pid, cancellation);
            },
            Qt::QueuedConnection);
    });
    return operation;
}

void LinuxReplacementService::paste(ReplacementOperation *operation, const QString &text,
                                    qint32 pid, const CancellationFlag &cancellation)
{
    QPointer<ReplacementOperation> guard(operation);
    PasteOperation::start(
        text, pid, m_desktop, *m_applications, m_keys, cancellation,
        [guard](bool dispatched, const QString &failureMessage) {
            if (guard)
                guard->finish(dispatched, failureMessage);
        },
        m_pasteTiming);
}
