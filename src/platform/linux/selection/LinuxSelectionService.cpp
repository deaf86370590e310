#include "platform/linux/selection/LinuxSelectionService.h"

#include "core/desktop/AccessibilityTrust.h"
#include "core/desktop/RunningApplications.h"
#include "core/desktop/TargetAppClassifier.h"
#include "core/support/Logging.h"
#include "platform/linux/LinuxDesktopConnections.h"
#include "platform/linux/selection/AtspiSelectionReader.h"
#include "platform/linux/selection/AtspiWorker.h"
#include "platform/linux/selection/ClipboardProbe.h"
#include "platform/linux/selection/PrimarySelection.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

SelectionResult contextResult(AccessibleElementRef element, QString text, qint32 pid)
{
    SelectionContext context;
    context.element = std::move(element);
    context.selectedText = std::move(text);
    context.pid = pid;
    return SelectionResult::withContext(std::move(context));
}

} // namespace

LinuxSelectionService::LinuxSelectionService(LinuxDesktopConnections &desktop,
                                             std::shared_ptr<RunningApplications> applications,
                                             std::shared_ptr<TargetAppClassifier> classifier,
                                             std::shared_ptr<AccessibilityTrust> trust,
                                             std::shared_ptr<KeySynthesizer> keys, QObject *parent)
    : QObject(parent)
    , m_desktop(desktop)
    , m_applications(std::move(applications))
    , m_classifier(std::move(classifier))
    , m_trust(std::move(trust))
    , m_keys(std::move(keys))
{
}

bool LinuxSelectionService::checkPermission(const SelectionRequest &request, const char *context)
{
    if (m_trust->isTrusted())
        return true;
    // Like a permission prompt: switch the accessibility bus on for next time.
    m_trust->requestTrust();
    const QString trace =
        request.traceID.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(request.traceID);
    qCInfo(lcSelection).noquote() << QStringLiteral(
                                         "Selection detect%1 permission-missing context=%2")
                                         .arg(trace, QLatin1String(context));
    return false;
}

SelectionFetch *LinuxSelectionService::fetchSelection(const SelectionRequest &request,
                                                      QObject *parent)
{
    auto *fetch = new SelectionFetch(request.requestID, parent);
    if (!checkPermission(request, "fetch")) {
        fetch->finishWithResult(SelectionResult::permissionMissing());
        return fetch;
    }
    const qint32 target = request.targetPid.value_or(m_applications->frontmostPid());
    if (!m_strategies.accessibility) {
        AtspiReadOutcome none;
        none.contextPid = target;
        none.reason = QStringLiteral("no_focused_element");
        continueWithoutAccessibility(fetch, request, none);
        return fetch;
    }

    QPointer<SelectionFetch> guard(fetch);
    QPointer<LinuxSelectionService> self(this);
    const CancellationFlag cancellation = fetch->cancellationFlag();
    const qint32 ownPid = m_applications->ownPid();
    AtspiWorker &worker = m_desktop.atspi;
    worker.post([=, &worker, classifier = m_classifier] {
        AtspiSelectionReader reader(worker, *classifier, cancellation, ownPid);
        auto outcome = std::make_shared<AtspiReadOutcome>(reader.read(target));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [=] {
                if (!guard || !self || cancellation.isCancelled())
                    return;
                if (outcome->context)
                    guard->finishWithResult(SelectionResult::withContext(*outcome->context));
                else
                    self->continueWithoutAccessibility(guard, request, *outcome);
            },
            Qt::QueuedConnection);
    });
    return fetch;
}

void LinuxSelectionService::continueWithoutAccessibility(SelectionFetch *fetch,
                                                         const SelectionRequest &request,
                                                         const AtspiReadOutcome &outcome)
{
    const qint32 pid = outcome.contextPid;
    if (m_strategies.primarySelection) {
        if (auto text = PrimarySelection::textOwnedBy(pid, m_desktop.x11, m_desktop.clipboard)) {
            fetch->finishWithResult(contextResult(outcome.focusedElement, *text, pid));
            return;
        }
    }
    if (!request.allowClipboardFallback) {
        fetch->finishWithResult(SelectionResult::empty());
        return;
    }
    probeClipboard(fetch, request, pid, outcome.reason, outcome.focusedElement);
}

SelectionFetch *
LinuxSelectionService::fetchSelectionViaClipboardOnly(const SelectionRequest &request,
                                                      QObject *parent)
{
    auto *fetch = new SelectionFetch(request.requestID, parent);
    if (!checkPermission(request, "clipboard_only")) {
        fetch->finishWithResult(SelectionResult::permissionMissing());
        return fetch;
    }
    const qint32 target = request.targetPid.value_or(0);
    if (m_strategies.primarySelection) {
        if (auto text = PrimarySelection::textOwnedBy(target, m_desktop.x11, m_desktop.clipboard)) {
            fetch->finishWithResult(contextResult(nullptr, *text, target));
            return fetch;
        }
    }
    probeClipboard(fetch, request, target, QStringLiteral("clipboard_only_prefetch"), nullptr);
    return fetch;
}

void LinuxSelectionService::probeClipboard(SelectionFetch *fetch, const SelectionRequest &request,
                                           qint32 pid, const QString &reason,
                                           AccessibleElementRef element)
{
    ClipboardProbe::Request probe;
    probe.targetPid = pid;
    probe.restorePid = request.restorePid;
    probe.traceID = request.traceID;
    probe.reason = reason;
    probe.cancellation = fetch->cancellationFlag();
    QPointer<SelectionFetch> guard(fetch);
    ClipboardProbe::run(
        std::move(probe), m_desktop, *m_applications, m_keys,
        [guard, element, pid](std::optional<QString> text, const QString &keysNotice) {
            if (!guard)
                return;
            if (text && !text->isEmpty())
                guard->finishWithResult(contextResult(element, *text, pid));
            else
                guard->finishWithResult(SelectionResult::unreadable(keysNotice));
        });
}
