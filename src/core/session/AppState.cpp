#include "core/session/AppState.h"

#include "core/ai/AIClient.h"
#include "core/ai/AIReply.h"
#include "core/analytics/AnalyticsSignal.h"
#include "core/analytics/AppAnalytics.h"
#include "core/desktop/ReplacementOperation.h"
#include "core/desktop/SelectionFetch.h"
#include "core/providers/AIProviderRegistry.h"
#include "core/session/InstructionHistory.h"
#include "core/session/SelectionRace.h"
#include "core/settings/SettingsStore.h"
#include "core/support/Logging.h"
#include "core/support/MonotonicClock.h"
#include "core/support/SecretMemory.h"

#include <QElapsedTimer>
#include <algorithm>
#include <utility>

namespace P = AnalyticsParameter;
using AnalyticsValue::boolean;

// One submission, as its reply and its replacement see it.
struct AppState::SubmitRequest
{
    QUuid requestID;
    AppConfig config;
    QString instruction;
    SubmitAction action = SubmitAction::showOutput;
    std::optional<SelectionContext> context;
    std::optional<QByteArray> imageData;
    QList<ConversationTurn> earlierTurns;
    bool streamToOutput = false;
    MonotonicStopwatch started;
};

// Lets streamed text through at most once per interval, on the monotonic
// clock. A piece that arrives too soon is dropped, not held: holding the
// text would make the AI client copy its whole accumulated reply on every
// following piece. The complete reply replaces whatever was shown last.
class AppState::PartialResponseThrottle
{
public:
    explicit PartialResponseThrottle(double intervalSeconds)
        : m_intervalNanoseconds(qint64(intervalSeconds * 1e9))
    {
    }

    bool admit()
    {
        if (m_lastApplied.isValid() && m_lastApplied.nsecsElapsed() < m_intervalNanoseconds)
            return false;
        m_lastApplied.start();
        return true;
    }

private:
    const qint64 m_intervalNanoseconds;
    QElapsedTimer m_lastApplied;
};

AppState::AppState(AppStateDependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_desktop(std::move(dependencies.desktop))
    , m_settingsStore(std::move(dependencies.settingsStore))
    , m_analytics(*dependencies.analytics)
    , m_providerRegistry(*dependencies.providerRegistry)
    , m_instructionHistory(*dependencies.instructionHistory)
    , m_timings(dependencies.timings)
    , m_warmsConnectionOnOpen(dependencies.warmsConnectionOnOpen)
    , m_aiClient(new AIClient(this))
{
    m_modelLoadingTimer.setSingleShot(true);
    connect(&m_modelLoadingTimer, &QTimer::timeout, this, [this] {
        if (m_isLoading && m_responseText.isEmpty() && m_status.isNone())
            setStatus(SessionStatus::Kind::loadingModel);
    });
}

AppState::~AppState()
{
    cancelActiveSubmitRequest(false);
    cancelSelectionDetection();
}

void AppState::setInputText(const QString &text)
{
    if (m_inputText == text)
        return;
    m_inputText = text;
    Q_EMIT inputTextChanged();
}

void AppState::setResponseText(const QString &text)
{
    if (m_responseText == text)
        return;
    m_responseText = text;
    Q_EMIT responseTextChanged();
}

void AppState::extendStreamedResponseText(const QString &textSoFar)
{
    // The text so far only grows, and the shown text is a part of it.
    if (textSoFar.size() <= m_responseText.size())
        return;
    endModelLoadingNotice();
    m_responseText.append(QStringView(textSoFar).sliced(m_responseText.size()));
    Q_EMIT responseTextChanged();
}

void AppState::endModelLoadingNotice()
{
    m_modelLoadingTimer.stop();
    if (m_status.kind == SessionStatus::Kind::loadingModel)
        setStatus({});
}

void AppState::setIsLoading(bool loading)
{
    if (m_isLoading == loading)
        return;
    m_isLoading = loading;
    Q_EMIT isLoadingChanged();
}

void AppState::setExecutingCommand(std::optional<QString> text, std::optional<QString> instruction)
{
    if (m_executingCommandText != text) {
        m_executingCommandText = std::move(text);
        Q_EMIT executingCommandTextChanged();
    }
    if (m_executingCommandInstruction != instruction) {
        m_executingCommandInstruction = std::move(instruction);
        Q_EMIT executingCommandInstructionChanged();
    }
}

void AppState::setHasSelection(bool hasSelection)
{
    if (m_hasSelection == hasSelection)
        return;
    m_hasSelection = hasSelection;
    Q_EMIT hasSelectionChanged();
}

void AppState::setStatus(const SessionStatus &status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged();
}

void AppState::setOpenToken(QUuid token)
{
    if (m_openToken == token)
        return;
    m_openToken = token;
    Q_EMIT openTokenChanged();
}

void AppState::setCapturedImageData(std::optional<QByteArray> imageData)
{
    if (m_capturedImageData == imageData)
        return;
    m_capturedImageData = std::move(imageData);
    Q_EMIT capturedImageChanged();
}

void AppState::clearCapturedImage()
{
    setCapturedImageData(std::nullopt);
}

void AppState::requestInputFocus()
{
    Q_EMIT inputFocusRequested();
}

void AppState::setRequestClose(std::function<void()> requestClose)
{
    m_requestClose = std::move(requestClose);
}

void AppState::setInputFocusProbe(std::function<bool()> probe)
{
    m_inputFocusProbe = std::move(probe);
}

void AppState::log(const QString &message)
{
    qCInfo(lcSession).noquote() << message;
}

void AppState::sendSignal(const QString &name, const AnalyticsParameters &parameters)
{
    m_analytics.signal(name, parameters);
}

void AppState::inputChanged(const QString &text)
{
    if (text != m_revisionTrackedInputText) {
        ++m_inputRevision;
        m_revisionTrackedInputText = text;
        // The reply on its way no longer answers what is typed.
        dropPendingWrite();
    }
    setInputText(text);
}

void AppState::submit(SubmitAction action)
{
    const QString trimmed = m_inputText.trimmed();
    if (trimmed.isEmpty())
        return;
    const std::optional<AppConfig> config = m_settingsStore->loadConfig();
    if (!config) {
        setStatus(SessionStatus::Kind::configureProvider);
        return;
    }
    const std::optional<QString> resolved = m_settingsStore->resolveCommand(trimmed);

    cancelActiveSubmitRequest(false);
    auto request = std::make_shared<SubmitRequest>();
    request->requestID = QUuid::createUuid();
    m_submitRequestID = request->requestID;

    setIsLoading(true);
    setExecutingCommand(resolved ? std::optional(trimmed) : std::nullopt, resolved);
    setStatus({});
    setResponseText(QString());
    m_lastResponseInputRevision.reset();
    m_submitInputRevision = m_inputRevision;
    m_submitAction = action;
    log(QStringLiteral("Request submitted."));
    rememberInstruction(trimmed);

    request->config = *config;
    request->instruction = resolved.value_or(trimmed);
    request->action = action;
    request->context = m_selectionContext;
    request->imageData = m_capturedImageData;
    request->earlierTurns = m_turns;
    if (!m_turns.isEmpty()) {
        m_refiningTurn = m_turns.size() + 1;
        Q_EMIT turnsChanged();
    }
    request->streamToOutput = action == SubmitAction::showOutput;
    request->started.restart();

    m_analytics.incrementUsageSessionQueryCount();
    sendSignal(AnalyticsSignal::querySubmitted,
               {{P::providerID, config->providerID},
                {P::model, config->model},
                {P::action, analyticsName(action)},
                {P::selectionState, querySelectionState(request->context)},
                {P::hasImageContext, boolean(request->imageData.has_value())},
                {P::usesSavedCommand, boolean(resolved.has_value())}});

    runSubmitRequest(request);
    // The request holds the key now; this copy is not needed again.
    SecretMemory::wipe(request->config.apiKey);
}

void AppState::runSavedCommand(const QString &shorthand)
{
    const std::optional<UserCommand> command = m_settingsStore->savedCommand(shorthand);
    const SubmitAction action = command && command->replaceAtOnce ? SubmitAction::replaceSelection
                                                                  : SubmitAction::showOutput;
    inputChanged(shorthand);
    if (isDetectingSelection())
        m_submitWhenDetected = PendingCommand{shorthand, action};
    else
        sendSavedCommand({shorthand, action});
}

void AppState::sendSavedCommand(const PendingCommand &command)
{
    // Keys typed while the selection was read (right after the command's
    // shortcut) went into the input after the shorthand: the command is
    // sent as it was asked for, and they stay there for the next turn.
    const QString typed = m_inputText;
    if (typed != command.shorthand)
        inputChanged(command.shorthand);
    submit(command.action);
    if (typed != command.shorthand)
        inputChanged(typed);
    // The bar says what it is about to do.
    if (command.action == SubmitAction::replaceSelection && m_isLoading)
        setStatus(SessionStatus::Kind::writingWhenComplete);
}

void AppState::rememberTurn(const ConversationTurn &turn)
{
    m_turns.append(turn);
    if (m_turns.size() > maximumEarlierTurns)
        m_turns.remove(1);
    Q_EMIT turnsChanged();
}

void AppState::startOver()
{
    if (m_turns.isEmpty())
        return;
    cancelActiveSubmitRequest(true);
    m_turns.clear();
    m_refiningTurn = 0;
    setResponseText(QString());
    setStatus({});
    m_lastResponseInputRevision.reset();
    Q_EMIT turnsChanged();
}

void AppState::rememberInstruction(const QString &typed)
{
    if (m_selectionContext && m_selectionContext->isSecret)
        return;
    m_instructionHistory.add(typed);
}

QString AppState::querySelectionState(const std::optional<SelectionContext> &context)
{
    if (!context)
        return QStringLiteral("no_selection");
    if (!context->selectedText.trimmed().isEmpty())
        return QStringLiteral("selected_text");
    if (context->selectedRange)
        return QStringLiteral("empty_selection");
    return QStringLiteral("no_selection");
}

void AppState::runSubmitRequest(const std::shared_ptr<const SubmitRequest> &request)
{
    AIPartialResponseHandler onPartialResponse;
    if (request->streamToOutput) {
        auto throttle =
            std::make_shared<PartialResponseThrottle>(m_timings.partialResponseThrottleSeconds);
        onPartialResponse = [self = QPointer<AppState>(this), throttle,
                             requestID = request->requestID](const QString &textSoFar) {
            if (!throttle->admit())
                return;
            if (self && self->isCurrentSubmitRequest(requestID))
                self->extendStreamedResponseText(textSoFar);
        };
    }

    AIReply *reply = nullptr;
    if (const AIProviderPointer provider =
            m_providerRegistry.provider(request->config.providerID)) {
        std::optional<QString> selectedText;
        if (request->context)
            selectedText = request->context->selectedText;
        AIRequestContext context =
            requestContext(request->requestID, request->config, request->instruction,
                           std::move(selectedText), request->imageData);
        context.earlierTurns = request->earlierTurns;
        reply = provider->sendRequest(*m_aiClient, context, std::move(onPartialResponse));
        // A server of the user's own may first load the model.
        if (!context.endpoint.isEmpty())
            m_modelLoadingTimer.start(secondsToMilliseconds(m_timings.modelLoadingNoticeSeconds));
    } else {
        reply = AIReply::failed(AIClientError::unknownProvider(request->config.providerID));
    }
    reply->setParent(this);
    m_submitReply = reply;
    connect(reply, &AIReply::finished, this,
            [this, reply, request] { submitReplyFinished(reply, request); });
}

AIRequestContext AppState::requestContext(const QUuid &requestID, const AppConfig &config,
                                          const QString &instruction,
                                          std::optional<QString> selectedText,
                                          std::optional<QByteArray> imageData)
{
    if (selectedText)
        selectedText->replace(refusalTestString, inertRefusalTestString);
    return {requestID,
            config.model,
            config.apiKey,
            instruction,
            std::move(selectedText),
            std::move(imageData),
            config.endpoint,
            config.replyLanguage,
            {}};
}

bool AppState::isCurrentSubmitRequest(const QUuid &requestID) const
{
    return m_submitRequestID == requestID;
}

qint64 AppState::elapsedMilliseconds(const SubmitRequest &request) const
{
    return std::max<qint64>(0, request.started.elapsedMilliseconds());
}

void AppState::submitReplyFinished(AIReply *reply,
                                   const std::shared_ptr<const SubmitRequest> &request)
{
    reply->deleteLater();
    // A reply, failure or completion of a request that is no longer the
    // newest is dropped whole.
    if (!isCurrentSubmitRequest(request->requestID))
        return;
    m_submitReply = nullptr;
    endModelLoadingNotice();

    const bool writeWhenComplete = std::exchange(m_writeWhenComplete, false);
    bool complete = true;
    switch (reply->state()) {
    case AIReply::State::succeeded:
        complete = handleSubmitSuccess(request, reply->text());
        break;
    case AIReply::State::failed:
        handleSubmitFailure(*request, *reply->error());
        break;
    case AIReply::State::cancelled:
        log(QStringLiteral("Request canceled."));
        break;
    case AIReply::State::running:
        return;
    }
    if (!complete)
        return;
    completeSubmitRequest(request->requestID);
    if (writeWhenComplete && reply->state() == AIReply::State::succeeded)
        writeCompletedReply();
    else if (writeWhenComplete && m_status.kind == SessionStatus::Kind::writingWhenComplete)
        setStatus({});
}

bool AppState::handleSubmitSuccess(const std::shared_ptr<const SubmitRequest> &request,
                                   const QString &response)
{
    if (request->imageData)
        clearCapturedImage();

    const AnalyticsParameters succeeded{
        {P::providerID, request->config.providerID},
        {P::action, analyticsName(request->action)},
        {P::hadSelectionContext, boolean(request->context.has_value())},
        {P::hadImageContext, boolean(request->imageData.has_value())},
        {P::durationMilliseconds, QString::number(elapsedMilliseconds(*request))}};

    if (request->context && request->action == SubmitAction::replaceSelection) {
        log(QStringLiteral("Selection replacement received."));
        sendSignal(AnalyticsSignal::querySucceeded, succeeded);
        replaceSelection(*request->context, response, request);
        return false;
    }

    log(QStringLiteral("Response received."));
    sendSignal(AnalyticsSignal::querySucceeded, succeeded);
    setResponseText(response);
    m_lastResponseInputRevision = m_inputRevision;
    rememberTurn({request->instruction, response});
    return true;
}

void AppState::handleSubmitFailure(const SubmitRequest &request, const AIClientError &error)
{
    if (request.imageData)
        clearCapturedImage();

    // A stream that broke after text arrived keeps that text as the reply to
    // the current input, marked as possibly incomplete. It is only shown,
    // never written over the selection on its own: the user may still
    // replace with it deliberately.
    const bool interrupted = error.kind() == AIClientError::Kind::streamInterrupted;
    const QString partial = interrupted              ? error.partialText()
                            : request.streamToOutput ? m_responseText
                                                     : QString();
    if (!partial.trimmed().isEmpty()) {
        log(QStringLiteral("Stream interrupted; keeping partial response."));
        setResponseText(partial);
        m_lastResponseInputRevision = m_inputRevision;
        setStatus(SessionStatus::Kind::interrupted);
        return;
    }

    qCWarning(lcSession).noquote()
        << QStringLiteral("Request failed. (") + error.errorDescription() + u')';
    sendSignal(AnalyticsSignal::queryFailed,
               {{P::providerID, request.config.providerID},
                {P::action, analyticsName(request.action)},
                {P::errorCategory, AppAnalytics::errorCategory(error)},
                {P::durationMilliseconds, QString::number(elapsedMilliseconds(request))}});
    // Nothing usable arrived, so what broke the stream is what the user sees.
    const AIClientError &shown = interrupted && error.cause() ? *error.cause() : error;
    setStatus(SessionStatus::worded(shown.userFacingMessage()));
}

void AppState::completeSubmitRequest(const QUuid &requestID)
{
    if (!isCurrentSubmitRequest(requestID))
        return;
    m_submitReply = nullptr;
    setIsLoading(false);
    setExecutingCommand(std::nullopt, std::nullopt);
}

void AppState::cancelActiveSubmitRequest(bool resetUI)
{
    if (AIReply *reply = std::exchange(m_submitReply, nullptr)) {
        if (!reply->isFinished()) {
            log(QStringLiteral("Request canceled."));
            reply->cancel();
        }
        reply->deleteLater();
    }
    cancelReplacement();
    dropPendingWrite();
    endModelLoadingNotice();
    m_submitRequestID = QUuid::createUuid();
    if (resetUI) {
        setIsLoading(false);
        setExecutingCommand(std::nullopt, std::nullopt);
    }
}

void AppState::systemResumed()
{
    m_aiClient->dropAllConnections(
        QStringLiteral("The connection was lost while the computer was asleep."));
}

void AppState::networkChanged()
{
    m_aiClient->dropKeptConnections();
}

void AppState::submitFromCommandReplaceShortcut()
{
    if (m_inputText.trimmed().isEmpty())
        return;
    // One replacement at a time: pressing the key again while the selection
    // is being re-read or written would write the reply twice.
    if (m_replaceRefresh || m_replacement)
        return;
    // The reply on its way answers what is typed: it is the one to write,
    // once complete (asking again would replace the reply the user watched,
    // and pay for it twice).
    if (isRunningForCurrentInput()) {
        if (m_submitAction == SubmitAction::showOutput && !m_writeWhenComplete) {
            m_writeWhenComplete = true;
            setStatus(SessionStatus::Kind::writingWhenComplete);
        }
        return;
    }
    if (!m_selectionContext) {
        refreshSelectionContextForReplaceShortcut(
            [this](bool hasContext) { continueReplaceShortcut(hasContext); });
        return;
    }
    continueReplaceShortcut(true);
}

void AppState::continueReplaceShortcut(bool hasContext)
{
    if (hasContext && canReuseResponse()) {
        log(QStringLiteral("Reusing existing response for selection replacement."));
        replaceSelection(*m_selectionContext, m_responseText, nullptr);
        return;
    }
    submit(SubmitAction::replaceSelection);
}

bool AppState::isRunningForCurrentInput() const
{
    return m_isLoading && m_submitReply && m_submitInputRevision == m_inputRevision;
}

void AppState::writeCompletedReply()
{
    const auto writeIfReusable = [this](bool hasContext) {
        if (hasContext && canReuseResponse()) {
            continueReplaceShortcut(true);
        } else if (m_status.kind == SessionStatus::Kind::writingWhenComplete) {
            // Nothing to write into: the reply stays shown.
            setStatus({});
        }
    };
    if (m_selectionContext)
        writeIfReusable(true);
    else
        refreshSelectionContextForReplaceShortcut(writeIfReusable);
}

void AppState::dropPendingWrite()
{
    if (!std::exchange(m_writeWhenComplete, false))
        return;
    if (m_status.kind == SessionStatus::Kind::writingWhenComplete)
        setStatus({});
}

// The reply held answers exactly the text now in the input.
bool AppState::canReuseResponse() const
{
    return !m_isLoading && !m_responseText.isEmpty() && m_lastResponseInputRevision &&
           *m_lastResponseInputRevision == m_inputRevision && m_selectionContext;
}

void AppState::replaceSelection(const SelectionContext &context, const QString &text,
                                const std::shared_ptr<const SubmitRequest> &request)
{
    const bool reused = !request;
    sendSignal(AnalyticsSignal::selectionReplaceAttempted,
               {{P::reusedExistingResponse, boolean(reused)}});
    ReplacementOperation *operation = m_desktop.replacement->replaceSelection(context, text, this);
    m_replacement = operation;
    connect(operation, &ReplacementOperation::finished, this,
            [this, operation, text, request] { replacementFinished(operation, text, request); });
}

void AppState::replacementFinished(ReplacementOperation *operation, const QString &text,
                                   const std::shared_ptr<const SubmitRequest> &request)
{
    operation->deleteLater();
    if (m_replacement != operation || operation->state() == ReplacementOperation::State::cancelled)
        return;
    m_replacement = nullptr;
    const bool reused = !request;

    if (operation->wasDispatched()) {
        sendSignal(AnalyticsSignal::selectionReplaceDispatched,
                   {{P::reusedExistingResponse, boolean(reused)}});
        handleEscape(UsageSessionEndReason::replacedSelection);
        return;
    }

    log(QStringLiteral("Selection replacement failed before dispatch."));
    sendSignal(AnalyticsSignal::selectionReplaceFailed,
               {{P::reusedExistingResponse, boolean(reused)}});
    const QString reason = operation->failureMessage();
    setStatus(reason.isEmpty() ? SessionStatus{SessionStatus::Kind::replaceFailed, {}}
                               : SessionStatus::worded(reason));
    if (request) {
        setResponseText(text);
        m_lastResponseInputRevision = m_inputRevision;
        completeSubmitRequest(request->requestID);
    }
}

void AppState::cancelReplacement()
{
    if (ReplacementOperation *operation = std::exchange(m_replacement, nullptr)) {
        operation->cancel();
        operation->deleteLater();
    }
}

// Reads the selection again when none is held (the detection found nothing,
// or has not finished). Calls `done` with whether a selection is now held.
void AppState::refreshSelectionContextForReplaceShortcut(std::function<void(bool)> done)
{
    qint32 pid = m_selectionTargetPid;
    if (pid == 0 && m_selectionContext)
        pid = m_selectionContext->pid;
    if (pid == 0) {
        setHasSelection(m_selectionContext.has_value());
        done(m_hasSelection);
        return;
    }

    SelectionRequest request;
    request.targetPid = pid;
    request.allowClipboardFallback = m_selectionUsesClipboardFallback;
    request.restorePid =
        m_selectionRestorePid != 0 ? m_selectionRestorePid : m_desktop.applications->ownPid();
    SelectionFetch *fetch = m_desktop.selection->fetchSelection(request, this);
    m_replaceRefresh = fetch;
    connect(fetch, &SelectionFetch::finished, this, [this, fetch, done = std::move(done)] {
        fetch->deleteLater();
        if (m_replaceRefresh != fetch || fetch->wasCancelled())
            return;
        m_replaceRefresh = nullptr;
        setSelectionContext(normalizedSelectionContext(fetch->result().context));
        applySelectionStatus(fetch->result());
        done(m_hasSelection);
    });
}

void AppState::copyResponseToClipboard()
{
    if (m_responseText.isEmpty())
        return;
    if (!m_desktop.clipboard->setText(m_responseText)) {
        qCWarning(lcSession).noquote()
            << QStringLiteral("Copying the response to the clipboard failed.");
        setStatus(SessionStatus::Kind::copyFailed);
        return;
    }
    sendSignal(AnalyticsSignal::responseCopied);
    Q_EMIT responseCopied();
}
