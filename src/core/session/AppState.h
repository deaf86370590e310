#pragma once

#include "core/ai/AIClientError.h"
#include "core/ai/AIRequestContext.h"
#include "core/analytics/AnalyticsSignal.h"
#include "core/analytics/UsageSessionEndReason.h"
#include "core/desktop/DesktopServices.h"
#include "core/desktop/SelectionContext.h"
#include "core/session/SessionStatus.h"
#include "core/session/SubmitAction.h"
#include "core/settings/AppConfig.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class AIClient;
class AIProviderRegistry;
class AIReply;
class AppAnalytics;
class InstructionHistory;
class MonotonicStopwatch;
class ReplacementOperation;
class SelectionFetch;
class SelectionRace;
class SettingsStore;
struct SelectionResult;

// Intervals of the command session, in seconds.
struct AppStateTimings
{
    // Streamed text reaches responseText at most this often, because every
    // change re-renders the reply.
    double partialResponseThrottleSeconds = 0.25;
    // How long a server of the user's own may stay silent before the bar
    // says it is loading the model (which can take tens of seconds).
    double modelLoadingNoticeSeconds = 1.5;
};

// What AppState stands on, every member set: the application wires the
// desktop's services, tests wire fakes.
struct AppStateDependencies
{
    DesktopServices desktop;
    // The state's own settings store.
    std::unique_ptr<SettingsStore> settingsStore;
    AppAnalytics *analytics = nullptr;
    const AIProviderRegistry *providerRegistry = nullptr;
    // Where sent instructions are kept for recall.
    InstructionHistory *instructionHistory = nullptr;
    AppStateTimings timings;
    // Connect to the current provider's server whenever the bar opens.
    bool warmsConnectionOnOpen = false;
};

// The state of the command bar from opening to closing: the captured
// selection, the typed instruction, the running request and its streamed
// reply, replacing the selection with the reply, copying it, and closing.
// Lives on the main thread; the published fields notify only when they
// actually change.
//
// Every asynchronous step (a request, a selection read, a replacement)
// carries the identity of what started it and is applied only while that
// identity is current: cancelling replaces the identity and cancels the
// handle, so late answers of a cancelled step are dropped, never reported.
class AppState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString inputText READ inputText NOTIFY inputTextChanged)
    Q_PROPERTY(QString responseText READ responseText NOTIFY responseTextChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(std::optional<QString> executingCommandText READ executingCommandText NOTIFY
                   executingCommandTextChanged)
    Q_PROPERTY(std::optional<QString> executingCommandInstruction READ executingCommandInstruction
                   NOTIFY executingCommandInstructionChanged)
    Q_PROPERTY(bool hasSelection READ hasSelection NOTIFY hasSelectionChanged)
    Q_PROPERTY(SessionStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(QUuid openToken READ openToken WRITE setOpenToken NOTIFY openTokenChanged)
    Q_PROPERTY(bool hasCapturedImage READ hasCapturedImage NOTIFY capturedImageChanged)
    Q_PROPERTY(std::optional<QByteArray> capturedImageData READ capturedImageData NOTIFY
                   capturedImageChanged)
    Q_PROPERTY(std::optional<QString> selectedTextPreview READ selectedTextPreview NOTIFY
                   selectedTextPreviewChanged)

public:
    // The preview of an insertion point; the bar shows it translated.
    static inline const QString nothingSelectedPreview = QStringLiteral("<nothing selected>");
    // A refining request carries at most this many earlier exchanges; past
    // it the oldest go, except the first, whose instruction goes with the
    // selection.
    static constexpr qsizetype maximumEarlierTurns = 6;
    // A published test string that makes one provider refuse to answer, and
    // the inert string put in its place wherever a selection quotes it.
    static inline const QString refusalTestString =
        QStringLiteral("ANTHROPIC_MAGIC_STRING_TRIGGER_REFUSAL_"
                       "1FAEFB6177B4672DEE07F9D3AFC62588CCD2631EDCF22E8CCC1FB35B501C9C86");
    static inline const QString inertRefusalTestString =
        QStringLiteral("ANTHROPIC_MAGIC_STRING_TRIGGER_REFUSAL_"
                       "1FAEFB6177B4672DEE07F9D3AFC62588CCD2631EDCF22E8CCC1FB35B501C9C89");

    // The context a submission sends, as the command bar and the command line
    // build it: the selection quoting the refusal test string gets the inert
    // one instead, so quoting it cannot make a provider refuse the request.
    static AIRequestContext requestContext(const QUuid &requestID, const AppConfig &config,
                                           const QString &instruction,
                                           std::optional<QString> selectedText,
                                           std::optional<QByteArray> imageData);

    explicit AppState(AppStateDependencies dependencies, QObject *parent = nullptr);
    ~AppState() override;

    QString inputText() const { return m_inputText; }
    const InstructionHistory &instructionHistory() const { return m_instructionHistory; }
    // The exchanges of this session so far; the next instruction refines the
    // last reply while there are any.
    const QList<ConversationTurn> &turns() const { return m_turns; }
    // The number of the exchange the last request refined to ("Refining ·
    // 2"); 0 while nothing was refined.
    qsizetype refiningTurn() const { return m_refiningTurn; }

    QString responseText() const { return m_responseText; }
    bool isLoading() const { return m_isLoading; }
    std::optional<QString> executingCommandText() const { return m_executingCommandText; }
    std::optional<QString> executingCommandInstruction() const
    {
        return m_executingCommandInstruction;
    }
    bool hasSelection() const { return m_hasSelection; }
    SessionStatus status() const { return m_status; }
    QUuid openToken() const { return m_openToken; }
    // The captured screen image is kept as its encoded (PNG) bytes; the view
    // decodes them for display.
    bool hasCapturedImage() const { return m_capturedImageData.has_value(); }
    std::optional<QByteArray> capturedImageData() const { return m_capturedImageData; }
    // One line for the panel header: the selection's first line (with an
    // ellipsis when there is more), "<nothing selected>" for a caret.
    std::optional<QString> selectedTextPreview() const;

    // The state behind the published fields, for the view and for tests.
    const std::optional<SelectionContext> &selectionContext() const { return m_selectionContext; }
    qint64 inputRevision() const { return m_inputRevision; }
    std::optional<qint64> lastResponseInputRevision() const { return m_lastResponseInputRevision; }
    qint32 selectionTargetPid() const { return m_selectionTargetPid; }
    qint32 selectionRestorePid() const { return m_selectionRestorePid; }
    bool selectionUsesClipboardFallback() const { return m_selectionUsesClipboardFallback; }
    bool isDetectingSelection() const;

    void setOpenToken(QUuid token);
    // Attaches encoded image bytes to the next request (absent: detaches).
    void setCapturedImageData(std::optional<QByteArray> imageData);
    // Asks the view to put keyboard focus into the input field.
    void requestInputFocus();
    // Closes the panel; installed by the application.
    void setRequestClose(std::function<void()> requestClose);
    // Whether keyboard focus is in a text field of this application; without
    // a probe it is taken as not.
    void setInputFocusProbe(std::function<bool()> probe);

    // Submitting and the reply.
    void inputChanged(const QString &text);
    void submit(SubmitAction action);
    void submitFromCommandReplaceShortcut();
    void copyResponseToClipboard();
    // Puts a saved command's shorthand in the input and sends it as soon as
    // the selection is known; a command set to replace at once writes its
    // reply over the selection when complete, and the bar closes.
    void runSavedCommand(const QString &shorthand);
    void cancelActiveSubmitRequest(bool resetUI);
    // Forgets the replies of this session: the next instruction goes with
    // the selection alone.
    void startOver();
    // The machine woke from a suspend: connections kept or in flight are
    // dead; a reply streaming meanwhile keeps its text as interrupted.
    void systemResumed();
    // The network changed: kept connections may lead nowhere now.
    void networkChanged();

    // Opening, selection and closing.
    void resetStateForOpen();
    // True when the target is browser-like (so the clipboard is involved).
    bool startSelectionDetection();
    void cancelSelectionDetection();
    void handleEscape(UsageSessionEndReason reason);

    // Absent stays absent; a context with a range passes (even a caret);
    // one without a range passes only with non-blank text.
    static std::optional<SelectionContext>
    normalizedSelectionContext(const std::optional<SelectionContext> &context);
    static std::optional<QString>
    selectedTextPreview(const std::optional<SelectionContext> &context);
    // "selected_text", "empty_selection" or "no_selection".
    static QString querySelectionState(const std::optional<SelectionContext> &context);

Q_SIGNALS:
    void inputTextChanged();
    void responseTextChanged();
    void isLoadingChanged();
    void executingCommandTextChanged();
    void executingCommandInstructionChanged();
    void hasSelectionChanged();
    void statusChanged();
    // The view should put keyboard focus into the input field.
    void inputFocusRequested();
    void openTokenChanged();
    void capturedImageChanged();
    // The reply went to the clipboard (Ctrl+C).
    void responseCopied();
    void selectedTextPreviewChanged();
    void turnsChanged();

private:
    struct SubmitRequest;
    class PartialResponseThrottle;

    // Published fields; each notifies only on change.
    void setInputText(const QString &text);
    void setResponseText(const QString &text);
    // A longer text so far of the stream being shown: only its new part is
    // copied.
    void extendStreamedResponseText(const QString &textSoFar);
    // Stops waiting to say the model is loading, and takes the words back.
    void endModelLoadingNotice();
    void setIsLoading(bool loading);
    void setExecutingCommand(std::optional<QString> text, std::optional<QString> instruction);
    void setHasSelection(bool hasSelection);
    void setStatus(const SessionStatus &status);
    void setStatus(SessionStatus::Kind kind) { setStatus(SessionStatus{kind, {}}); }
    void setSelectionContext(std::optional<SelectionContext> context);

    // Submitting and the reply.
    void runSubmitRequest(const std::shared_ptr<const SubmitRequest> &request);
    void submitReplyFinished(AIReply *reply, const std::shared_ptr<const SubmitRequest> &request);
    // False while the reply is still being written over the selection.
    bool handleSubmitSuccess(const std::shared_ptr<const SubmitRequest> &request,
                             const QString &response);
    void handleSubmitFailure(const SubmitRequest &request, const AIClientError &error);
    void completeSubmitRequest(const QUuid &requestID);
    bool isCurrentSubmitRequest(const QUuid &requestID) const;
    qint64 elapsedMilliseconds(const SubmitRequest &request) const;

    // Replacing the selection with a reply (a kept one, or the one that was
    // just received for `request`).
    void continueReplaceShortcut(bool hasContext);
    bool canReuseResponse() const;
    // Whether the running request answers the text now in the input.
    bool isRunningForCurrentInput() const;
    // Ctrl+Return pressed while the reply to this very input streamed: write
    // it now that it is complete, without asking again.
    void writeCompletedReply();
    void dropPendingWrite();
    void replaceSelection(const SelectionContext &context, const QString &text,
                          const std::shared_ptr<const SubmitRequest> &request);
    void replacementFinished(ReplacementOperation *operation, const QString &text,
                             const std::shared_ptr<const SubmitRequest> &request);
    void refreshSelectionContextForReplaceShortcut(std::function<void(bool)> done);
    void cancelReplacement();

    // Opening, selection and closing.
    void startOrdinaryDetection(const SelectionRequest &request, const MonotonicStopwatch &started);
    void startBrowserDetection(const SelectionRequest &request, const MonotonicStopwatch &started);
    void applyDetectionResult(const SelectionResult &result, const QString &traceID,
                              const QString &strategy, qint64 elapsedMilliseconds);
    void applySelectionStatus(const SelectionResult &result);
    void cancelDetectionReaders();
    void clearCapturedImage();
    // The first reply then does not wait for the connection's handshakes,
    // which are done while the user types.
    void warmUpProviderConnection();

    struct PendingCommand
    {
        QString shorthand;
        SubmitAction action = SubmitAction::showOutput;
    };
    void sendSavedCommand(const PendingCommand &command);
    // Keeps what the user typed for recall, unless it was typed over a
    // password field.
    void rememberInstruction(const QString &typed);
    // A reply shown in full becomes an exchange the next instruction refines.
    void rememberTurn(const ConversationTurn &turn);
    static void log(const QString &message);
    void sendSignal(const QString &name, const AnalyticsParameters &parameters = {});

    // Dependencies.
    DesktopServices m_desktop;
    std::unique_ptr<SettingsStore> m_settingsStore;
    AppAnalytics &m_analytics;
    const AIProviderRegistry &m_providerRegistry;
    InstructionHistory &m_instructionHistory;
    AppStateTimings m_timings;
    bool m_warmsConnectionOnOpen;
    AIClient *m_aiClient;
    std::function<void()> m_requestClose;
    std::function<bool()> m_inputFocusProbe;

    // Published fields.
    QString m_inputText;
    QString m_responseText;
    bool m_isLoading = false;
    std::optional<QString> m_executingCommandText;
    std::optional<QString> m_executingCommandInstruction;
    bool m_hasSelection = false;
    SessionStatus m_status;
    QUuid m_openToken = QUuid::createUuid();
    // The latest check whether the current provider is set up, before the
    // bar connects ahead to its server.
    QUuid m_warmUpID;
    std::optional<QByteArray> m_capturedImageData;

    // The request.
    QUuid m_submitRequestID = QUuid::createUuid();
    QPointer<AIReply> m_submitReply;
    // What the running request was asked for: its input revision and action.
    qint64 m_submitInputRevision = 0;
    SubmitAction m_submitAction = SubmitAction::showOutput;
    // Ctrl+Return came while the reply to the current input was streaming.
    bool m_writeWhenComplete = false;
    QPointer<ReplacementOperation> m_replacement;
    qint64 m_inputRevision = 0;
    QString m_revisionTrackedInputText;
    std::optional<qint64> m_lastResponseInputRevision;
    QList<ConversationTurn> m_turns;
    qsizetype m_refiningTurn = 0;
    // A command to send once the selection read ends.
    std::optional<PendingCommand> m_submitWhenDetected;
    QTimer m_modelLoadingTimer;

    // The selection.
    QUuid m_selectionRequestID = QUuid::createUuid();
    QPointer<SelectionFetch> m_selectionFetch;
    QPointer<SelectionRace> m_selectionRace;
    QPointer<SelectionFetch> m_replaceRefresh;
    std::optional<SelectionContext> m_selectionContext;
    qint32 m_selectionTargetPid = 0;
    qint32 m_selectionRestorePid = 0;
    bool m_selectionUsesClipboardFallback = false;
};
