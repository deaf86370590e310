// AppState: opening the command bar, detecting the selection, and closing.

#include "core/ai/AIClient.h"
#include "core/analytics/AppAnalytics.h"
#include "core/desktop/SelectionFetch.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/session/AppState.h"
#include "core/session/SelectionRace.h"
#include "core/settings/SettingsStore.h"
#include "core/support/MonotonicClock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTextBoundaryFinder>
#include <QThreadPool>
#include <algorithm>

namespace {

const QString axSource = QStringLiteral("ax");
const QString clipboardSource = QStringLiteral("clipboard");

// User-perceived characters (grapheme clusters).
qsizetype characterCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x000A && u <= 0x000D) || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

QString boolText(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

void AppState::resetStateForOpen()
{
    cancelActiveSubmitRequest(true);
    cancelSelectionDetection();
    setStatus({});
    setResponseText(QString());
    setInputText(QString());
    setExecutingCommand(std::nullopt, std::nullopt);
    m_inputRevision = 0;
    m_revisionTrackedInputText.clear();
    m_lastResponseInputRevision.reset();
    if (!m_turns.isEmpty()) {
        m_turns.clear();
        m_refiningTurn = 0;
        Q_EMIT turnsChanged();
    }
    setSelectionContext(std::nullopt);
    m_selectionTargetPid = 0;
    m_selectionRestorePid = 0;
    m_selectionUsesClipboardFallback = false;
    clearCapturedImage();
    // After the bar is shown: reading the settings is not for the way to it.
    if (m_warmsConnectionOnOpen)
        QMetaObject::invokeMethod(this, &AppState::warmUpProviderConnection, Qt::QueuedConnection);
}

// Only a provider the user has set up is contacted: opening the bar tells no
// server of a provider without a key or an account. Whether it has one is in
// the keyring, which may wait for its unlock prompt, so it is read off the
// main thread; the answer counts for the latest opening only.
void AppState::warmUpProviderConnection()
{
    const AIProviderPointer provider = m_settingsStore->currentProvider();
    const std::optional<QUrl> origin =
        provider ? m_settingsStore->serviceOrigin(*provider) : std::nullopt;
    if (!origin)
        return;
    const QUuid warmUpID = QUuid::createUuid();
    m_warmUpID = warmUpID;
    QPointer<AppState> self(this);
    QThreadPool::globalInstance()->start([self, warmUpID, provider, origin = *origin,
                                          keychain = m_settingsStore->keychain(),
                                          settingsFile = m_settingsStore->defaults().filePath(),
                                          &registry = m_settingsStore->registry()] {
        if (!SettingsStore(keychain, settingsFile, registry).hasValidConfig(*provider))
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, warmUpID, origin] {
                if (!self || self->m_warmUpID != warmUpID)
                    return;
                log(QStringLiteral("Connecting ahead to %1.").arg(origin.toString()));
                self->m_aiClient->warmUp(origin);
            },
            Qt::QueuedConnection);
    });
}

bool AppState::isDetectingSelection() const
{
    return m_selectionFetch || m_selectionRace;
}

void AppState::cancelDetectionReaders()
{
    if (SelectionFetch *fetch = std::exchange(m_selectionFetch, nullptr)) {
        fetch->cancel();
        fetch->deleteLater();
    }
    if (SelectionRace *race = std::exchange(m_selectionRace, nullptr)) {
        race->cancel();
        race->deleteLater();
    }
}

void AppState::cancelSelectionDetection()
{
    m_submitWhenDetected.reset();
    cancelDetectionReaders();
    // A re-read for the replace key belongs to the session being left too.
    if (SelectionFetch *fetch = std::exchange(m_replaceRefresh, nullptr)) {
        fetch->cancel();
        fetch->deleteLater();
    }
    m_selectionRequestID = QUuid::createUuid();
}

bool AppState::startSelectionDetection()
{
    cancelDetectionReaders();
    const MonotonicStopwatch started;
    const QUuid requestID = QUuid::createUuid();
    m_selectionRequestID = requestID;

    const qint32 targetPid = m_desktop.applications->frontmostPid();
    const qint32 restorePid = m_desktop.applications->ownPid();
    const bool browserLike = m_desktop.classifier->isBrowserLikeHostProcess(targetPid);
    m_selectionTargetPid = targetPid;
    m_selectionRestorePid = restorePid;
    m_selectionUsesClipboardFallback = browserLike;

    SelectionRequest request;
    request.requestID = requestID;
    request.targetPid = targetPid;
    request.allowClipboardFallback = false;
    request.restorePid = restorePid;
    request.traceID = requestID.toString(QUuid::WithoutBraces).toUpper().left(8);
    if (browserLike)
        startBrowserDetection(request, started);
    else
        startOrdinaryDetection(request, started);
    return browserLike;
}

void AppState::startOrdinaryDetection(const SelectionRequest &request,
                                      const MonotonicStopwatch &started)
{
    SelectionFetch *fetch = m_desktop.selection->fetchSelection(request, this);
    m_selectionFetch = fetch;
    connect(fetch, &SelectionFetch::finished, this,
            [this, fetch, requestID = request.requestID, traceID = request.traceID, started] {
                fetch->deleteLater();
                if (m_selectionFetch == fetch)
                    m_selectionFetch = nullptr;
                if (fetch->wasCancelled() || requestID != m_selectionRequestID)
                    return;
                applyDetectionResult(fetch->result(), traceID, QStringLiteral("first-pass"),
                                     started.elapsedMilliseconds());
            });
}

// In browser-like hosts the accessibility tree often holds no selection, so
// the accessibility reader races a clipboard probe.
void AppState::startBrowserDetection(const SelectionRequest &request,
                                     const MonotonicStopwatch &started)
{
    SelectionFetch *ax = m_desktop.selection->fetchSelection(request, this);
    SelectionFetch *clipboard = m_desktop.selection->fetchSelectionViaClipboardOnly(request, this);
    auto *race =
        new SelectionRace(request.requestID, {{axSource, ax}, {clipboardSource, clipboard}}, this);
    m_selectionRace = race;
    connect(race, &SelectionRace::finished, this,
            [this, race, requestID = request.requestID, traceID = request.traceID, started] {
                race->deleteLater();
                if (m_selectionRace == race)
                    m_selectionRace = nullptr;
                if (race->wasCancelled() || requestID != m_selectionRequestID)
                    return;
                applyDetectionResult(race->result(), traceID,
                                     QStringLiteral("browser source=") + race->source(),
                                     started.elapsedMilliseconds());
                // The probe activated the browser and brought us back; the
                // input field may have lost keyboard focus on the way.
                if (!m_inputFocusProbe || !m_inputFocusProbe())
                    requestInputFocus();
            });
}

void AppState::applyDetectionResult(const SelectionResult &result, const QString &traceID,
                                    const QString &strategy, qint64 elapsedMilliseconds)
{
    setSelectionContext(normalizedSelectionContext(result.context));
    const qsizetype textLength =
        m_selectionContext ? characterCount(m_selectionContext->selectedText) : 0;
    log(QStringLiteral("Selection detect [") + traceID + QStringLiteral("] ") + strategy +
        QStringLiteral(" hasSelection=") + boolText(m_hasSelection) + QStringLiteral(" textLen=") +
        QString::number(textLength) + QStringLiteral(" needsPermission=") +
        boolText(result.needsPermission) + QStringLiteral(" elapsed=") +
        QString::number(std::max<qint64>(0, elapsedMilliseconds)) + QStringLiteral("ms"));
    applySelectionStatus(result);
    if (const auto command = std::exchange(m_submitWhenDetected, std::nullopt))
        sendSavedCommand(*command);
}

void AppState::applySelectionStatus(const SelectionResult &result)
{
    if (result.needsPermission)
        setStatus(SessionStatus::Kind::permission);
    else if (!result.context && !result.notice.isEmpty())
        setStatus(SessionStatus::worded(result.notice));
}

void AppState::setSelectionContext(std::optional<SelectionContext> context)
{
    const std::optional<QString> previousPreview = selectedTextPreview();
    m_selectionContext = std::move(context);
    setHasSelection(m_selectionContext.has_value());
    if (selectedTextPreview() != previousPreview)
        Q_EMIT selectedTextPreviewChanged();
}

std::optional<SelectionContext>
AppState::normalizedSelectionContext(const std::optional<SelectionContext> &context)
{
    if (!context)
        return std::nullopt;
    // A caret in an editable element is a place to insert at.
    if (context->selectedRange)
        return context;
    if (context->selectedText.trimmed().isEmpty())
        return std::nullopt;
    return context;
}

std::optional<QString> AppState::selectedTextPreview() const
{
    return selectedTextPreview(m_selectionContext);
}

std::optional<QString> AppState::selectedTextPreview(const std::optional<SelectionContext> &context)
{
    if (!context)
        return std::nullopt;
    if (context->selectedText.isEmpty()) {
        if (context->selectedRange)
            return nothingSelectedPreview;
        return std::nullopt;
    }
    const QString trimmed = context->selectedText.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const auto firstBreak = std::find_if(trimmed.cbegin(), trimmed.cend(), isLineBreak);
    const QString firstLine = trimmed.first(std::distance(trimmed.cbegin(), firstBreak)).trimmed();
    if (firstLine.isEmpty())
        return std::nullopt;
    if (firstBreak != trimmed.cend() || characterCount(firstLine) < characterCount(trimmed))
        return firstLine + QChar(0x2026);
    return firstLine;
}

void AppState::handleEscape(UsageSessionEndReason reason)
{
    cancelActiveSubmitRequest(true);
    cancelSelectionDetection();
    setInputText(QString());
    setResponseText(QString());
    setSelectionContext(std::nullopt);
    setExecutingCommand(std::nullopt, std::nullopt);
    clearCapturedImage();
    setStatus({});
    m_analytics.endUsageSession(reason);
    if (m_requestClose)
        m_requestClose();
}
